// Feeds arbitrary bytes as a tape image to the emulated drive and runs everything that
// reads a volume over it: mount, counting sets both ways, the set list, opening every
// set and reading its first stream header, then an append and a cut. Any crash, hang or
// sanitizer report is a fault; false results are expected.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "scsi/blocking_pump.h"
#include "scsi/virtual_adapter.h"
#include "tape/datastream.h"
#include "tape/sfile.h"

namespace {

constexpr int kDriveId = 4;
constexpr int32_t kMostSetsOpened = 64;

// Nobody answers: confirmations and retries say no, the name prompt is cancelled.
class SilentMessages : public korv::MessageService {
 public:
  void beep(unsigned) override {}
  void show(korv::BoxType, const std::string&) override {}
  bool confirm(const std::string&) override { return false; }
  bool askYesNoError(const std::string&) override { return false; }
  std::optional<std::string> input(const std::string&, const std::string&, const std::string&,
                                   int) override {
    return std::nullopt;
  }
};

// One image file per fuzzing process, removed when it exits.
struct ImageFile {
  std::string path = (std::filesystem::temp_directory_path() /
                      ("korv-mount-fuzz-" + std::to_string(getpid()) + ".tap"))
                         .string();
  ~ImageFile() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
};

const std::string& imagePath() {
  static const ImageFile image;
  return image.path;
}

void exercise(korv::TScsifile& sf) {
  std::string name;
  sf.MountVolume(name);

  sf.UseEod = true;
  const int32_t byFilemarks = sf.CountSets();
  sf.UseEod = false;
  const int32_t byHeaders = sf.CountSets();

  if (sf.ReadFirstSetName(name)) {
    for (int32_t listed = 1; listed < kMostSetsOpened && sf.ReadNextSetName(name); ++listed) {
    }
  }

  const int32_t sets = std::min(std::max(byFilemarks, byHeaders) + 1, kMostSetsOpened);
  for (int32_t n = 1; n <= sets; ++n) {
    if (!sf.OpenSet(n, name)) continue;
    uint8_t header[korv::kHeaderSize];
    if (!sf.Catalogue.empty() && sf.TapeRead(header, korv::kHeaderSize)) {
      const auto layout = korv::streamLayout(korv::decodeHeader(header));
      (void)layout.blockLength(0);
    }
    sf.CloseSet();
  }

  // The writing paths over the same damaged volume.
  sf.UseEod = byFilemarks % 2 == 0;
  sf.Catalogue.resize(1);
  sf.Catalogue[0].name = "/fuzz";
  name = "appended";
  if (sf.OpenSet(0, name)) sf.TapeWriteFilemarks(1);
  sf.CloseSet();
  sf.DeleteLastSet();
  sf.CountSets();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream image(imagePath(), std::ios::binary | std::ios::trunc);
    image.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  korv::VirtualAdapter adapter({{kDriveId, imagePath()}});
  korv::BlockingPump pump;
  SilentMessages messages;
  korv::TScsifile sf(adapter, pump, messages);
  if (sf.OpenDevice(kDriveId, true, true)) exercise(sf);
  return 0;
}
