// The backup dialog's listing of a large folder against the core listing alone: the
// time of "サブディレクトリの検索" (core listing, the list's model, selecting every line,
// the count) and the process's peak memory, in one mode per process so each peak is its
// own.
//
//   listing_100k core FOLDER [REPEAT]     the core's dirsearch alone
//   listing_100k dialog FOLDER [REPEAT]   the dialog's Button3Click, offscreen

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "gui/backup/backupu.h"
#include "gui/common/qt_event_pump.h"
#include "gui/common/qt_messages.h"
#include "gui/widgets/entry_list.h"
#include "jobs/dirsearch.h"
#include "scsi/virtual_adapter.h"

namespace {

long peakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

long currentKiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void report(const char* mode, double best, size_t files, long before) {
  std::printf("%s: %zu files, best %.3f s, resident before %ld KiB, peak %ld KiB\n", mode, files,
              best, before, peakKiB());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: listing_100k core|dialog FOLDER [REPEAT]\n");
    return 64;
  }
  const std::string mode = argv[1];
  std::string folder = argv[2];
  if (folder.back() != '/') folder += '/';
  const int repeat = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;

  if (mode == "core") {
    const long before = currentKiB();
    double best = 1e9;
    size_t files = 0;
    for (int i = 0; i < repeat; ++i) {
      korv::jobs::FileList list;
      QElapsedTimer clock;
      clock.start();
      korv::jobs::dirsearch(folder, list);
      best = std::min(best, clock.nsecsElapsed() / 1e9);
      files = list.size();
    }
    report("core", best, files, before);
    return 0;
  }

  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  korv::gui::QtEventPump pump;
  korv::VirtualAdapter bus({{4, "/nonexistent/tape4.tap"}});
  korv::gui::QtMessages messages(QStringLiteral("Korvessian"));
  korv::gui::AppContext app(bus, pump, messages, "/nonexistent/korvessian.ini");
  korv::gui::Tbackup dialog(app);
  dialog.show();
  QCoreApplication::processEvents();
  dialog.edit("Edit3")->setText(QString::fromStdString(folder));
  const long before = currentKiB();
  double best = 1e9;
  for (int i = 0; i < repeat; ++i) {
    QElapsedTimer clock;
    clock.start();
    dialog.Button3Click();
    QCoreApplication::processEvents();  // the list painted once
    best = std::min(best, clock.nsecsElapsed() / 1e9);
  }
  report("dialog", best, static_cast<size_t>(dialog.ListBox()->count()), before);
  return 0;
}
