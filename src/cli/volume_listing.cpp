#include "cli/volume_listing.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/terminal_messages.h"
#include "cli/text_format.h"
#include "sys/cp932.h"
#include "sys/datetime.h"
#include "tape/entry_size.h"
#include "tape/sfile.h"

namespace korv::cli {

namespace {

void printJson(const nlohmann::ordered_json& value) {
  // Decoded names are valid UTF-8; replacing is only a guard against a decoder's slip.
  std::puts(value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

// Mounts the volume, or says that it cannot be used. The version message has been shown
// by the mount itself.
bool mount(TScsifile& sf, std::string& tapeName) {
  if (sf.MountVolume(tapeName)) return true;
  std::fprintf(stderr, "%s\n", "バックアップセット名は取得できませんでした");
  return false;
}

}  // namespace

int listSets(Session& session, bool json) {
  TScsifile* sf = session.bindDrive();
  if (sf == nullptr) return kExitFailed;
  std::string tapeName;
  if (!mount(*sf, tapeName)) return session.finish(false);

  // The list ends at the first name that cannot be read: the end of the recorded data,
  // or a set whose data file has no closing filemark.
  std::vector<std::string> names;
  std::string name;
  if (sf->ReadFirstSetName(name)) {
    do names.push_back(name);
    while (sf->ReadNextSetName(name));
  }
  sf->TapeRewind();

  if (json) {
    auto sets = nlohmann::ordered_json::array();
    for (size_t i = 0; i < names.size(); ++i)
      sets.push_back({{"number", i + 1}, {"name", cp932ToUtf8(names[i])}});
    printJson({{"tape", cp932ToUtf8(tapeName)}, {"sets", sets}});
  } else {
    // Names come from the tape: control bytes are shown as spaces, so none reaches the
    // terminal as an escape sequence or splits a line.
    std::printf("%s\n", displayText(tapeName).c_str());
    for (size_t i = 0; i < names.size(); ++i)
      std::printf("%4zu  %s\n", i + 1, displayText(names[i]).c_str());
  }
  return session.finish(true);
}

int listFiles(Session& session, int32_t setNumber, bool json) {
  // Set 0 would append a new set; only existing sets are listed.
  if (setNumber < 1) {
    std::fprintf(stderr, "%s\n", "バックアップセットの番号は1以上です");
    return kExitUsage;
  }
  TScsifile* sf = session.bindDrive();
  if (sf == nullptr) return kExitFailed;
  std::string tapeName;
  if (!mount(*sf, tapeName)) return session.finish(false);

  std::string setName;
  if (!sf->OpenSet(setNumber, setName)) {
    session.messages().beep(kBeepExclamation);
    session.messages().show(BoxType::Warning, "マウントできません");
    sf->TapeRewind();
    return session.finish(false);
  }
  const std::vector<sf_file2>& entries = sf->Catalogue;
  if (json) {
    auto files = nlohmann::ordered_json::array();
    for (size_t i = 0; i < entries.size(); ++i) {
      const auto& e = entries[i];
      const std::string time = formatPacked(e.time, 'T');
      const uint64_t size = wholeFileSize(e);
      files.push_back(
          {{"index", i + 1},
           {"path", cp932ToUtf8(e.name)},
           {"size", size},
           {"time", time.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(time)},
           {"attributes", e.attributes},
           {"too_large", !fitsStream(size)}});
    }
    printJson({{"set", setNumber}, {"name", cp932ToUtf8(setName)}, {"files", files}});
  } else {
    bool anyTooLarge = false;
    for (size_t i = 0; i < entries.size(); ++i) {
      const auto& e = entries[i];
      const std::string time = formatPacked(e.time, ' ');
      // A size the stream header cannot hold is marked: the file's data is not on tape.
      const uint64_t size = wholeFileSize(e);
      const std::string sizeText = (fitsStream(size) ? "" : "*") + std::to_string(size);
      anyTooLarge = anyTooLarge || !fitsStream(size);
      std::printf("%6zu %13s %-19s %s\n", i + 1, sizeText.c_str(),
                  time.empty() ? "-" : time.c_str(), displayText(e.name).c_str());
    }
    if (anyTooLarge) session.terminal().note("* : 2GB以上の為バックアップされていないファイルです");
  }
  sf->CloseSet();
  sf->TapeRewind();
  return session.finish(true);
}

}  // namespace korv::cli
