// The maintenance commands of the main menu over an emulated drive: what each sends, what
// it shows, and what a refusal or a failing drive does to it.

#include "jobs/maintenance_commands.h"

#include <gtest/gtest.h>

#include <functional>

#include "tape/volume_fixture.h"

namespace korv::test {
namespace {

using namespace korv::jobs;
using Texts = std::vector<std::string>;

constexpr uint8_t kRewind = 0x01, kSpace = 0x11, kErase = 0x19, kUnload = 0x1B;
constexpr const char* kDone = "正常終了．";

class MaintenanceCommands : public VolumeFixture {
 protected:
  std::vector<uint8_t> opcodes() const {
    std::vector<uint8_t> result;
    for (const auto& r : trace) result.push_back(r.cdb[0]);
    return result;
  }
  int32_t sets() {
    const int32_t count = sf->CountSets();
    trace.clear();
    return count;
  }
};

TEST_F(MaintenanceCommands, NoToTheConfirmationSendsNothingAndSaysNothing) {
  const std::vector<std::pair<std::function<MaintenanceResult()>, std::string>> commands = {
      {[&] { return rewindTape(*sf, messages); }, "媒体を巻き戻します．\r巻き戻していいですか？"},
      {[&] { return retensionTape(*sf, messages); },
       "媒体を巻き直します．\r巻き直していいですか？"},
      {[&] { return ejectTape(*sf, messages); },
       "媒体を巻き戻して取り出します．\r取り出していいですか？"},
      {[&] { return eraseTape(*sf, messages); },
       "媒体の記録内容を全て削除します．\r削除していいですか？"},
      {[&] { return formatTape(*sf, messages, messages); },
       "このプログラムで使用できるように\r媒体を初期化します．\r初期化していいですか？"},
      {[&] { return deleteLastSet(*sf, messages); },
       "最後のバックアップセットを削除します．\r削除して良いですか？"},
      {[&] { return deleteSetsFrom(*sf, messages); },
       "指定した数以降のバックアップセットを削除します．\r続けて良いですか？"},
  };
  for (const auto& [command, confirmation] : commands) {
    SCOPED_TRACE(confirmation);
    messages.confirmAnswers = {false};
    messages.confirmations.clear();
    EXPECT_EQ(command().outcome, MaintenanceOutcome::Cancelled);
    EXPECT_EQ(messages.confirmations, Texts{confirmation});
    EXPECT_TRUE(trace.empty());
  }
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_TRUE(messages.inputCaptions.empty());
}

TEST_F(MaintenanceCommands, RetensionReportsARefusedStep) {
  auto result = retensionTape(*sf, messages);
  EXPECT_EQ(result.outcome, MaintenanceOutcome::Done);
  EXPECT_EQ(opcodes(), (std::vector<uint8_t>{kRewind, kSpace, kRewind}));

  for (const FaultPlan plan :
       {FaultPlan{.failSpaceAt = 1}, FaultPlan{.failRewindAt = 1}, FaultPlan{.failRewindAt = 2}}) {
    drive().setFaults(plan);
    trace.clear();
    messages.boxes.clear();
    result = retensionTape(*sf, messages);
    EXPECT_EQ(result.outcome, MaintenanceOutcome::Failed);
    EXPECT_EQ(messages.texts(), Texts{"巻き直しエラー発生！！"});
    // A failed step does not cut the wind short.
    EXPECT_EQ(opcodes(), (std::vector<uint8_t>{kRewind, kSpace, kRewind}));
  }
}

TEST_F(MaintenanceCommands, RewindAndEraseResults) {
  insert(threeSets());
  drive().setFaults({.failRewindAt = 1});
  EXPECT_EQ(eraseTape(*sf, messages).outcome, MaintenanceOutcome::Done);
  EXPECT_EQ(opcodes(), (std::vector<uint8_t>{kRewind, kErase, kRewind}));
  EXPECT_EQ(countGood(kErase), 1);
  EXPECT_TRUE(readFileBytes(imagePath).empty());

  drive().setFaults({.failRewindAt = 1});
  EXPECT_EQ(rewindTape(*sf, messages).outcome, MaintenanceOutcome::Failed);
  drive().setFaults({.writeProtected = true});
  EXPECT_EQ(eraseTape(*sf, messages).outcome, MaintenanceOutcome::Failed);
  EXPECT_EQ(messages.texts(), (Texts{kDone, "リワインドエラー発生！！", "イレースエラー発生！！"}));
}

TEST_F(MaintenanceCommands, EjectLeavesNoMediumAndDisablesTheTapeItems) {
  drive().setFaults({.failRewindAt = 1});
  auto result = ejectTape(*sf, messages);
  EXPECT_EQ(result.outcome, MaintenanceOutcome::Failed);
  EXPECT_FALSE(result.disableTapeItems);
  EXPECT_EQ(countCommands(kUnload), 0);

  drive().setFaults({});
  result = ejectTape(*sf, messages);
  EXPECT_EQ(result.outcome, MaintenanceOutcome::Done);
  EXPECT_TRUE(result.disableTapeItems);
  EXPECT_EQ(messages.texts(), (Texts{"巻き戻せませんでした", kDone}));
  EXPECT_FALSE(sf->TapeTestUnitReady());
  EXPECT_EQ(trace.back().sense.asc, 0x3A);  // medium not present
  EXPECT_FALSE(ejectTape(*sf, messages).disableTapeItems);
}

TEST_F(MaintenanceCommands, DeleteFromTheOfferedOneRemovesEverySet) {
  insert(threeSets());
  EXPECT_EQ(deleteSetsFrom(*sf, messages).outcome, MaintenanceOutcome::Done);
  EXPECT_EQ(messages.inputCaptions, Texts{"数字の入力"});
  EXPECT_EQ(messages.inputInitials, Texts{"1"});
  EXPECT_EQ(messages.texts(), Texts{kDone});
  EXPECT_EQ(sets(), 0);
}

TEST_F(MaintenanceCommands, DeleteFromRefusesItsNumberWithoutTouchingTheTape) {
  insert(threeSets());
  struct Case {
    std::optional<std::string> typed;
    MaintenanceOutcome outcome;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"0", MaintenanceOutcome::Failed, "削除出来ませんでした"},
      {"-3", MaintenanceOutcome::Failed, "削除出来ませんでした"},
      {"$80000000", MaintenanceOutcome::Failed, "削除出来ませんでした"},  // negative as hex
      {"abc", MaintenanceOutcome::BadInput, "'abc' は整数ではありません"},
      {"4294967296", MaintenanceOutcome::BadInput, "'4294967296' は整数ではありません"},
      {std::nullopt, MaintenanceOutcome::Cancelled, "中断しました．"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    messages.inputAnswers = {c.typed};
    messages.boxes.clear();
    EXPECT_EQ(deleteSetsFrom(*sf, messages).outcome, c.outcome);
    EXPECT_EQ(messages.texts(), Texts{c.message});
    EXPECT_TRUE(trace.empty());
  }
  // The terminal binds its drive lazily: a refused number never binds one.
  messages.inputAnswers = {"0"};
  bool bound = false;
  deleteSetsFrom(TapeAccess([&] {
                   bound = true;
                   return sf.get();
                 }),
                 messages);
  EXPECT_FALSE(bound);
  EXPECT_EQ(sets(), 3);
}

// Shows are recorded among the cursor changes, so their order can be seen.
struct CursorAndBoxes : ScriptedMessages {
  void show(BoxType type, const std::string& text) override {
    events.push_back(text);
    ScriptedMessages::show(type, text);
  }
  std::vector<std::string> events;
};

TEST_F(MaintenanceCommands, FailedVolumeOperationsAndTheHourglass) {
  CursorAndBoxes ui;
  const BusyCursor busy = [&](bool on) { ui.events.push_back(on ? "hourglass" : "default"); };

  ui.inputAnswers = {std::nullopt};  // the tape name prompt cancelled
  EXPECT_EQ(formatTape(*sf, ui, ui, busy).outcome, MaintenanceOutcome::Failed);
  EXPECT_EQ(deleteLastSet(*sf, ui, busy).outcome, MaintenanceOutcome::Failed);  // no sets
  EXPECT_EQ(retensionTape(*sf, ui, busy).outcome, MaintenanceOutcome::Done);
  EXPECT_EQ(ui.events,
            (Texts{"hourglass", "default", "フォーマットエラーが発生したか，又は中断されました。",
                   "hourglass", "default", "削除出来ませんでした", "hourglass", "default", kDone}));
}

}  // namespace
}  // namespace korv::test
