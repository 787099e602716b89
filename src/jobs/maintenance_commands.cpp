#include "jobs/maintenance_commands.h"

#include <limits>

#include "sys/ini.h"
#include "tape/volume.h"

namespace korv::jobs {

namespace {

constexpr const char* kDone = "正常終了．";
constexpr const char* kDeleteFailed = "削除出来ませんでした";
constexpr const char* kFormatFailed = "フォーマットエラーが発生したか，又は中断されました。";

using Outcome = MaintenanceOutcome;

// The hourglass from just after the confirmation until just before the result message;
// put back on every way out, also the ones without a message.
class Hourglass {
 public:
  explicit Hourglass(const BusyCursor& busy) : busy_(busy) {}
  ~Hourglass() { restore(); }
  void show() {
    if (busy_ && !shown_) busy_(true);
    shown_ = true;
  }
  void restore() {
    if (busy_ && shown_) busy_(false);
    shown_ = false;
  }

 private:
  const BusyCursor& busy_;
  bool shown_ = false;
};

MaintenanceResult report(MessageService& messages, const char* text, Outcome outcome) {
  messages.show(BoxType::Plain, text);
  return {outcome};
}

// The usual ending: an operation that left the tape somewhere, a rewind whose result is
// not examined, then the result.
MaintenanceResult rewindAndReport(TScsifile& sf, MessageService& messages, Hourglass& cursor) {
  sf.TapeRewind();
  cursor.restore();
  return report(messages, kDone, Outcome::Done);
}

MaintenanceResult failWith(MessageService& messages, Hourglass& cursor, const char* text) {
  cursor.restore();
  return report(messages, text, Outcome::Failed);
}

}  // namespace

std::optional<int32_t> inputInteger(const std::string& text, MessageService& messages) {
  if (const auto value = parseProfileInteger(text)) {
    if (*value >= std::numeric_limits<int32_t>::min() &&
        *value <= std::numeric_limits<int32_t>::max())
      return static_cast<int32_t>(*value);
    // Hexadecimal may use the sign bit: "$FFFFFFFF" is -1.
    const bool hex = text.find_first_of("$xX") != std::string::npos;
    if (hex && *value > 0 && *value <= 0xFFFFFFFFLL)
      return static_cast<int32_t>(static_cast<uint32_t>(*value));
  }
  messages.show(BoxType::Error, "'" + text + "' は整数ではありません");
  return std::nullopt;
}

MaintenanceResult rewindTape(TapeAccess tape, MessageService& messages) {
  if (!messages.confirm("媒体を巻き戻します．\r巻き戻していいですか？"))
    return {Outcome::Cancelled};
  TScsifile* sf = tape.get();
  if (sf == nullptr) return {Outcome::Failed};
  if (!sf->TapeRewind()) return report(messages, "リワインドエラー発生！！", Outcome::Failed);
  return report(messages, kDone, Outcome::Done);
}

MaintenanceResult retensionTape(TapeAccess tape, MessageService& messages, const BusyCursor& busy) {
  if (!messages.confirm("媒体を巻き直します．\r巻き直していいですか？"))
    return {Outcome::Cancelled};
  TScsifile* sf = tape.get();
  if (sf == nullptr) return {Outcome::Failed};
  Hourglass cursor(busy);
  cursor.show();
  // Every step is tried even after one failed, so the tape still ends at its beginning
  // when the drive can get it there.
  bool ok = sf->TapeRewind();
  ok = sf->TapeSpace(1, SpaceEndOfData) && ok;
  ok = sf->TapeRewind() && ok;
  cursor.restore();
  if (!ok) return report(messages, "巻き直しエラー発生！！", Outcome::Failed);
  return report(messages, kDone, Outcome::Done);
}

MaintenanceResult ejectTape(TapeAccess tape, MessageService& messages) {
  if (!messages.confirm("媒体を巻き戻して取り出します．\r取り出していいですか？"))
    return {Outcome::Cancelled};
  TScsifile* sf = tape.get();
  if (sf == nullptr) return {Outcome::Failed};
  if (!sf->TapeRewind()) return report(messages, "巻き戻せませんでした", Outcome::Failed);
  if (!sf->TapeUnload()) return report(messages, "イジェクトエラー発生！！", Outcome::Failed);
  MaintenanceResult result = report(messages, kDone, Outcome::Done);
  result.disableTapeItems = true;
  return result;
}

MaintenanceResult eraseTape(TapeAccess tape, MessageService& messages) {
  if (!messages.confirm("媒体の記録内容を全て削除します．\r削除していいですか？"))
    return {Outcome::Cancelled};
  TScsifile* sf = tape.get();
  if (sf == nullptr) return {Outcome::Failed};
  sf->TapeRewind();  // a failed rewind does not stop the erase
  if (!sf->TapeErase()) return report(messages, "イレースエラー発生！！", Outcome::Failed);
  sf->TapeRewind();
  return report(messages, kDone, Outcome::Done);
}

MaintenanceResult formatTape(TapeAccess tape, MessageService& messages, MessageService& namePrompt,
                             const BusyCursor& busy) {
  if (!messages.confirm(
          "このプログラムで使用できるように\r媒体を初期化します．\r初期化していいですか？"))
    return {Outcome::Cancelled};
  TScsifile* sf = tape.get();
  if (sf == nullptr) return {Outcome::Failed};
  Hourglass cursor(busy);
  cursor.show();
  if (!formatVolume(*sf, namePrompt)) return failWith(messages, cursor, kFormatFailed);
  return rewindAndReport(*sf, messages, cursor);
}

MaintenanceResult deleteLastSet(TapeAccess tape, MessageService& messages, const BusyCursor& busy) {
  if (!messages.confirm("最後のバックアップセットを削除します．\r削除して良いですか？"))
    return {Outcome::Cancelled};
  TScsifile* sf = tape.get();
  if (sf == nullptr) return {Outcome::Failed};
  Hourglass cursor(busy);
  cursor.show();
  if (!sf->DeleteLastSet()) return failWith(messages, cursor, kDeleteFailed);
  return rewindAndReport(*sf, messages, cursor);
}

MaintenanceResult deleteSetsFrom(TapeAccess tape, MessageService& messages,
                                 const BusyCursor& busy) {
  if (!messages.confirm("指定した数以降のバックアップセットを削除します．\r続けて良いですか？"))
    return {Outcome::Cancelled};
  const auto text =
      messages.input("数字の入力", "消したいバックアップセットの番号を入力", "1", 255);
  if (!text) return report(messages, "中断しました．", Outcome::Cancelled);
  const auto number = inputInteger(*text, messages);
  if (!number) return {Outcome::BadInput};
  Hourglass cursor(busy);
  cursor.show();
  // Sets count from 1: a smaller number fails before any drive is touched.
  if (*number <= 0) return failWith(messages, cursor, kDeleteFailed);
  TScsifile* sf = tape.get();
  if (sf == nullptr) return {Outcome::Failed};
  if (!sf->DeleteSetsFrom(*number)) return failWith(messages, cursor, kDeleteFailed);
  return rewindAndReport(*sf, messages, cursor);
}

}  // namespace korv::jobs
