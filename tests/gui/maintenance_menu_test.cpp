// The tape maintenance commands of the "ツール" menu as the window runs them:
// confirmations, the number box, the hourglass, the result boxes, eject disabling the
// tape items.

#include <QGuiApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <memory>

#include "gui/app/mainu.h"
#include "scsi/blocking_pump.h"
#include "scsi/tape_commands.h"
#include "scsi/virtual_adapter.h"
#include "support/gui_fixture.h"
#include "support/main_window_driver.h"
#include "tape/sfile.h"

namespace korv::test {

namespace {

// Scripted boxes that also note whether the hourglass was up when each box came.
class CursorNotingMessages : public ScriptedMessages {
 public:
  void show(BoxType type, const std::string& text) override {
    hourglassAtBox.push_back(QGuiApplication::overrideCursor() != nullptr);
    ScriptedMessages::show(type, text);
  }
  bool confirm(const std::string& text) override {
    hourglassAtBox.push_back(QGuiApplication::overrideCursor() != nullptr);
    return ScriptedMessages::confirm(text);
  }
  std::vector<bool> hourglassAtBox;
};

const char* const kTapeItems[] = {"N5", "N6", "N7", "N9", "N10", "N11", "N13", "N15", "N16", "N18"};
const char* const kCommands[] = {"N11", "N9", "N18", "N15", "N16", "N10", "N13"};

}  // namespace

class MaintenanceMenuTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiWorkspace> workspace;
  CursorNotingMessages messages;
  std::unique_ptr<GuiProgram> program;
  std::unique_ptr<gui::Tmain> main;

  void trigger(const char* name) { item(*main, name)->trigger(); }

  int enabledTapeItems() {
    int n = 0;
    for (const char* name : kTapeItems) n += item(*main, name)->isEnabled() ? 1 : 0;
    return n;
  }

  // The sets the tape holds now, read by a component of its own.
  int setsOnTape() {
    main.reset();
    program.reset();
    VirtualAdapter adapter({{4, workspace->imagePath(4)}});
    BlockingPump pump;
    ScriptedMessages quiet;
    TScsifile sf(adapter, pump, quiet);
    if (!sf.OpenDevice(4, true, true)) return -2;
    std::string name;
    if (!sf.MountVolume(name)) return -3;
    return sf.CountSets();
  }

 private slots:
  void init() {
    workspace = std::make_unique<GuiWorkspace>();
    workspace->formatTape({"SET1", "SET2", "SET3"});
    messages = CursorNotingMessages();
    program = std::make_unique<GuiProgram>(*workspace, messages);
    main = std::make_unique<gui::Tmain>(program->app);
    QVERIFY(startMainWindow(*main));
    openToolMenu(*main);
    QCOMPARE(enabledTapeItems(), 10);
    program->bus.clearTrace();
  }

  void cleanup() {
    main.reset();
    program.reset();
    workspace.reset();
  }

  // Answering "いいえ(&N)" sends nothing and shows nothing, for every command.
  void aDeclinedConfirmationSendsNothing() {
    for (const char* command : kCommands) {
      messages.confirmAnswers = {false};
      trigger(command);
    }
    QCOMPARE(messages.confirmations.size(), std::size(kCommands));
    QVERIFY(messages.boxes.empty());
    QVERIFY(messages.inputCaptions.empty());
    QVERIFY(program->bus.trace().empty());
    QCOMPARE(enabledTapeItems(), 10);
  }

  void theConfirmationTexts() {
    for (const char* command : kCommands) {
      messages.confirmAnswers = {false};
      trigger(command);
    }
    QCOMPARE(
        messages.confirmations,
        (std::vector<std::string>{
            "媒体を巻き戻します．\r巻き戻していいですか？",
            "媒体を巻き直します．\r巻き直していいですか？",
            "媒体を巻き戻して取り出します．\r取り出していいですか？",
            "最後のバックアップセットを削除します．\r削除して良いですか？",
            "指定した数以降のバックアップセットを削除します．\r続けて良いですか？",
            "媒体の記録内容を全て削除します．\r削除していいですか？",
            "このプログラムで使用できるように\r媒体を初期化します．\r初期化していいですか？"}));
  }

  void rewindReportsItsOutcome() {
    trigger("N11");
    QCOMPARE(messages.texts(), std::vector<std::string>{"正常終了．"});
    QCOMPARE(messages.boxes[0].type, BoxType::Plain);
    QCOMPARE(program->bus.count(kOpRewind), 1);
    program->bus.drive().setFaults({.failRewindAt = 1});
    trigger("N11");
    QCOMPARE(messages.texts().back(), std::string("リワインドエラー発生！！"));
  }

  // The hourglass from the confirmation until just before the result; never during a
  // command without it (rewind).
  void theHourglassWhereTheTableSaysIt() {
    program->bus.drive().setFaults({.delay = std::chrono::milliseconds(50)});
    bool duringRetension = false;
    QTimer::singleShot(20, main.get(),
                       [&] { duringRetension = QGuiApplication::overrideCursor(); });
    trigger("N9");
    QVERIFY(duringRetension);
    QCOMPARE(messages.texts(), std::vector<std::string>{"正常終了．"});
    QCOMPARE(messages.hourglassAtBox, (std::vector<bool>{false, false}));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    bool duringRewind = true;
    QTimer::singleShot(20, main.get(), [&] { duringRewind = QGuiApplication::overrideCursor(); });
    trigger("N11");
    QVERIFY(!duringRewind);

    // A failure restores the cursor before its message too.
    program->bus.drive().setFaults({.failSpaceAt = 1});
    messages.hourglassAtBox.clear();
    trigger("N15");
    QCOMPARE(messages.texts().back(), std::string("削除出来ませんでした"));
    QCOMPARE(messages.hourglassAtBox, (std::vector<bool>{false, false}));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
  }

  void ejectDisablesTheTapeItemsUntilToolIsOpenedAgain() {
    trigger("N18");
    QCOMPARE(messages.texts(), std::vector<std::string>{"正常終了．"});
    QCOMPARE(program->bus.count(kOpLoadUnload), 1);
    QCOMPARE(enabledTapeItems(), 0);
    QVERIFY(item(*main, "N3")->isEnabled());
    QCOMPARE(main->statusPanel(1)->text(), QString(" 4"));
    // The next opening re-binds (the emulated drive loads its cartridge again).
    openToolMenu(*main);
    QCOMPARE(enabledTapeItems(), 10);
  }

  void deleteFromTheOfferedOneRemovesEverySet() {
    trigger("N16");
    QCOMPARE(messages.inputCaptions, std::vector<std::string>{"数字の入力"});
    QCOMPARE(messages.inputInitials, std::vector<std::string>{"1"});
    QCOMPARE(messages.texts(), std::vector<std::string>{"正常終了．"});
    QCOMPARE(setsOnTape(), 0);
  }

  void deleteFromTwoKeepsTheFirst() {
    messages.inputAnswers = {std::string("2")};
    trigger("N16");
    QCOMPARE(messages.texts(), std::vector<std::string>{"正常終了．"});
    QCOMPARE(setsOnTape(), 1);
  }

  void deleteFromZeroOrLessSendsNothing() {
    for (const char* number : {"0", "-1"}) {
      messages.inputAnswers = {std::string(number)};
      trigger("N16");
    }
    QCOMPARE(messages.texts(),
             (std::vector<std::string>{"削除出来ませんでした", "削除出来ませんでした"}));
    QVERIFY(program->bus.trace().empty());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(setsOnTape(), 3);
  }

  void deleteFromAWordShowsTheConversionError() {
    messages.inputAnswers = {std::string("abc")};
    trigger("N16");
    QCOMPARE(messages.boxes.size(), size_t(1));
    QCOMPARE(messages.boxes[0].type, BoxType::Error);
    QCOMPARE(messages.boxes[0].text, std::string("'abc' は整数ではありません"));
    QVERIFY(program->bus.trace().empty());
    QCOMPARE(setsOnTape(), 3);
  }

  void deleteFromCancelled() {
    messages.inputAnswers = {std::nullopt};
    trigger("N16");
    QCOMPARE(messages.texts(), std::vector<std::string>{"中断しました．"});
    QVERIFY(program->bus.trace().empty());
  }

  void deleteLastSet() {
    trigger("N15");
    QCOMPARE(messages.texts(), std::vector<std::string>{"正常終了．"});
    QCOMPARE(setsOnTape(), 2);
  }

  void eraseRewindsBeforeAndAfter() {
    trigger("N10");
    QCOMPARE(messages.texts(), std::vector<std::string>{"正常終了．"});
    std::vector<uint8_t> opcodes;
    for (const TraceRecord& r : program->bus.trace()) opcodes.push_back(r.cdb[0]);
    QCOMPARE(opcodes, (std::vector<uint8_t>{kOpRewind, kOpErase, kOpRewind}));
  }

  void formatAsksForTheNameAndWritesALabel() {
    messages.inputAnswers = {std::string("NEW TAPE")};
    trigger("N13");
    QCOMPARE(messages.texts(), std::vector<std::string>{"正常終了．"});
    QCOMPARE(setsOnTape(), 0);
  }

  void formatCancelledAtTheName() {
    messages.inputAnswers = {std::nullopt};
    trigger("N13");
    QCOMPARE(messages.texts(),
             std::vector<std::string>{"フォーマットエラーが発生したか，又は中断されました。"});
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(setsOnTape(), 3);
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::MaintenanceMenuTest)
#include "maintenance_menu_test.moc"
