// The processor time a run spends waiting for the drive: commands on an emulated drive
// that takes a fixed time per command, timed by the wall clock and by the CPU clocks of
// the waiting thread and of the whole process (the drive's worker included).

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_faces.h"
#include "scsi/blocking_pump.h"
#include "scsi/virtual_adapter.h"
#include "tape/sfile.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  const int commands = argc > 1 ? std::atoi(argv[1]) : 100;
  const int delayMs = argc > 2 ? std::atoi(argv[2]) : 20;
  char folder[] = "/tmp/korv-wait-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  const std::string image = std::string(folder) + "/tape.tap";

  korv::VirtualAdapter adapter({{4, image}});
  korv::BlockingPump pump;
  SilentMessages messages;
  korv::TScsifile sf(adapter, pump, messages);
  if (!sf.OpenDevice(4, true, true)) return 1;
  adapter.drive(4)->setFaults({.delay = std::chrono::milliseconds(delayMs)});

  const auto wall0 = std::chrono::steady_clock::now();
  const double thread0 = korv::bench::cpuSeconds(RUSAGE_THREAD);
  const double process0 = korv::bench::cpuSeconds(RUSAGE_SELF);
  for (int i = 0; i < commands; ++i) sf.TapeTestUnitReady();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double thread = korv::bench::cpuSeconds(RUSAGE_THREAD) - thread0;
  const double process = korv::bench::cpuSeconds(RUSAGE_SELF) - process0;

  std::printf(
      "wait: %d commands of %d ms: wall %.2f s, CPU of the waiting thread %.3f s "
      "(%.2f %%), of the process %.3f s (%.2f %%)\n",
      commands, delayMs, wall, thread, 100 * thread / wall, process, 100 * process / wall);
  std::filesystem::remove_all(folder);
  return 0;
}
