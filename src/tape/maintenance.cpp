// Changing the volume as a whole: formatting and cutting sets off its end. Nothing is
// erased: each writes at a chosen place and relies on the drive ending the recorded data
// right after that write, so whatever lies behind can no longer be reached.

#include <ctime>

#include "sys/cp932.h"
#include "sys/datetime.h"
#include "tape/records.h"
#include "tape/sfile.h"
#include "tape/volume.h"
#include "tape/volume_tail.h"

namespace korv {

namespace {

constexpr const char* kNameCaption = "媒体名の入力";
constexpr const char* kNamePrompt = "テープの名前を入力して下さい";
constexpr const char* kDefaultNamePrefix = "SCSI-TAPE MEDIA ";
constexpr int kNameMaxLength = 255;

// The typed name in CP932, or nullopt (after saying why) when it cannot be stored as
// typed: a character without a CP932 form, or more bytes than the field holds.
std::optional<std::string> tapeNameBytes(const std::string& typed, MessageService& messages) {
  auto bytes = utf8ToCp932(typed);
  if (!bytes) {
    messages.show(BoxType::Error, "テープの名前に使えない文字が含まれています．");
    return std::nullopt;
  }
  if (!fitsTextField(*bytes)) {
    messages.show(BoxType::Error, "テープの名前が長すぎます．（255バイトまで）");
    return std::nullopt;
  }
  return bytes;
}

// Rewrites the filemark in front of set `number`, so the recorded data ends before it.
bool cutBeforeSet(TScsifile& sf, int32_t number) {
  if (!sf.TapeRewind()) return false;
  // Set 0 asks to space back from the beginning of the tape, which the drive refuses.
  const int32_t filemarks = number == 0 ? -1 : filemarksBeforeSet(number);
  if (number != 0 && filemarks < 0) return false;
  if (!sf.TapeSpace(filemarks, SpaceFilemarks)) return false;
  if (!sf.TapeSpace(-1, SpaceFilemarks)) return false;
  if (!sf.TapeWriteFilemarks(1)) return false;
  return sf.TapeRewind();
}

}  // namespace

bool formatVolume(TScsifile& sf, MessageService& prompt) {
  if (!sf.Opened) return false;
  if (!sf.TapeRewind()) return false;

  // One moment serves both the default name and the recorded time.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const std::string defaultName = kDefaultNamePrefix + formatLocalDateTime(now.tv_sec);
  const auto typed = prompt.input(kNameCaption, kNamePrompt, defaultName, kNameMaxLength);
  if (!typed) return false;
  const auto name = tapeNameBytes(*typed, prompt);
  if (!name) return false;

  const auto label = encodeVolumeLabel({sf.FormatId, *name, toDateTime(now.tv_sec, now.tv_nsec)});
  if (!sf.TapeWrite(label.data(), kVolumeLabelSize)) return false;
  if (!sf.TapeWriteFilemarks(1)) return false;
  return sf.TapeRewind();
}

bool TScsifile::FormatVolume() {
  return formatVolume(*this, messages());
}

bool TScsifile::DeleteSetsFrom(int32_t number) {
  if (!Opened || number <= 0) return false;
  return cutBeforeSet(*this, number);
}

bool TScsifile::DeleteLastSet() {
  if (!Opened) return false;
  // The last set is the last one the set list shows, complete or cut short, so a cut
  // never takes the intact set in front of an interrupted one.
  const auto tail = surveyTail(*this);
  if (!tail) return false;
  return cutBeforeSet(*this, tail->listedSets());
}

}  // namespace korv
