// The volume label: reading it, comparing its identification string with this format's,
// and mounting with the version message for tapes that do not match.

#include <span>

#include "sys/cp932.h"
#include "tape/records.h"
#include "tape/sfile.h"
#include "tape/volume.h"

namespace korv {

namespace {

constexpr size_t kVersionFrom = 25;  // character 26, counted from 1
constexpr size_t kVersionLength = 13;

std::span<const uint8_t> labelField(const uint8_t (&label)[kLabelSize], size_t offset) {
  return std::span<const uint8_t>(label + offset, kTextFieldSize);
}

}  // namespace

std::string versionText(const std::string& identification) {
  if (identification.size() <= kVersionFrom) return {};
  return identification.substr(kVersionFrom, kVersionLength);
}

std::string versionMessage(const std::string& labelText, const std::string& formatId) {
  std::string text = "このテープは現在のシステムとバージョンが違う為，使用できません．\r";
  text += "\r";
  text += "テープバージョンは以下の通りです．\r";
  text += cp932ToUtf8(versionText(labelText)) + "\r";
  text += "\r";
  text += "現在のシステムバージョンは以下の通りです．\r";
  text += cp932ToUtf8(versionText(formatId));
  return text;
}

bool TScsifile::ReadLabelBlock() {
  if (!TapeRewind()) return false;
  return TapeRead(LabelData, kLabelSize);
}

bool TScsifile::CheckVolume(std::string& labelText) {
  if (!Opened) return false;
  if (!ReadLabelBlock()) {
    labelText.clear();
    return false;
  }
  labelText = readTextField(labelField(LabelData, 0));
  return labelText == FormatId;
}

bool TScsifile::MountVolume(std::string& tapeName) {
  if (!Opened) {
    tapeName.clear();
    return false;
  }
  std::string labelText;
  if (CheckVolume(labelText)) {
    tapeName = readTextField(labelField(LabelData, kTextFieldSize));
    return true;
  }
  messages().beep(kBeepExclamation);
  messages().show(BoxType::Plain, versionMessage(labelText, FormatId));
  return false;
}

}  // namespace korv
