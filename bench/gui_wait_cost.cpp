// The desktop program's processor time while one command is held pending: the real main
// window, bound to an emulated drive that keeps its REWIND pending for the given time,
// runs the "リワインド" command (confirmed) with its nested event loop; the process's
// processor time over that command is compared with its wall time. Runs on the
// offscreen platform unless a display is given.
//
//   gui_wait_cost [MILLISECONDS]   (default 2000)

#include <sys/resource.h>

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "bench_faces.h"
#include "gui/app/mainu.h"
#include "gui/app/start.h"
#include "gui/common/qt_event_pump.h"
#include "scsi/virtual_adapter.h"

int main(int argc, char** argv) {
  if (std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const int delayMs = argc > 1 ? std::atoi(argv[1]) : 2000;
  QApplication application(argc, argv);
  korv::gui::setupApplication();

  char folder[] = "/tmp/korv-gui-wait-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  const std::string base(folder);

  korv::gui::QtEventPump pump;
  korv::VirtualAdapter adapter({{4, base + "/tape4.tap"}});
  korv::bench::AgreeingMessages messages;
  korv::gui::AppContext app(adapter, pump, messages, base + "/korvessian.ini");
  app.scsiid = 4;
  korv::gui::Tmain main(app);
  main.Tool1Click();  // binds, as opening "ツール" does
  if (!app.sf.Opened) return 1;
  adapter.drive(4)->setFaults({.delay = std::chrono::milliseconds(delayMs)});

  const auto wall0 = std::chrono::steady_clock::now();
  const double cpu0 = korv::bench::cpuSeconds();
  main.N11Click();  // "リワインド": one REWIND, pending for delayMs
  const double cpu = korv::bench::cpuSeconds() - cpu0;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();

  std::printf("desktop program: one command pending %.2f s: processor time %.4f s (%.3f %%)\n",
              wall, cpu, 100 * cpu / wall);
  std::filesystem::remove_all(base);
  return 0;
}
