// How busy a streaming drive is kept while a tree is backed up: the emulated drive is
// given the speed of a fast drive (bytes per second) and counts the time its tape stood
// still waiting for data. Run once with the files read ahead and once without.
//
//   drive_busy TREE [BYTES_PER_SECOND] [READ_AHEAD_BLOCKS]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_faces.h"
#include "jobs/backup_run.h"
#include "jobs/dirsearch.h"
#include "jobs/selection.h"
#include "scsi/blocking_pump.h"
#include "scsi/virtual_adapter.h"
#include "tape/sfile.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: drive_busy TREE [BYTES_PER_SECOND] [READ_AHEAD_BLOCKS]\n");
    return 64;
  }
  std::string tree = argv[1];
  if (tree.back() != '/') tree += '/';
  const uint64_t rate = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 400000000;
  const size_t readAhead =
      argc > 3 ? std::strtoul(argv[3], nullptr, 10) : korv::jobs::SourceReader::kDefaultRing;

  char folder[] = "/var/tmp/korv-busy-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  const std::string image = std::string(folder) + "/tape.tap";
  int status = 1;
  {
    korv::VirtualAdapter adapter({{4, image}});
    korv::BlockingPump pump;
    korv::bench::AgreeingMessages messages;
    korv::TScsifile sf(adapter, pump, messages);
    korv::jobs::FileList list;
    korv::jobs::dirsearch(tree, list);
    if (sf.OpenDevice(4, false, true) && sf.FormatVolume()) {
      adapter.drive(4)->setRate(rate);
      korv::bench::SilentFactory factory;
      korv::bench::NoLog log;
      korv::Options options;
      korv::jobs::RunFaces faces{messages, factory, log, options};
      korv::jobs::ListSelection all(list.size());
      const auto t0 = std::chrono::steady_clock::now();
      const auto result = korv::jobs::backupRun(sf, list, all, "busy", faces, {}, readAhead);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      const auto motion = adapter.drive(4)->motion();
      std::printf("%zu files, read-ahead %zu blocks, drive %.0f MB/s: %.2f s, tape busy %.1f %%\n",
                  list.size(), readAhead, static_cast<double>(rate) / 1e6, seconds,
                  100 * motion.busyShare());
      status = result.status == korv::jobs::RunStatus::Finished ? 0 : 1;
    }
  }
  std::filesystem::remove_all(folder);
  return status;
}
