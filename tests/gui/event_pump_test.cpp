// The desktop program's wait for the drive: a nested event loop that the transport's
// completion ends, with the window's events handled meanwhile.

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "gui/common/qt_event_pump.h"
#include "scsi/aspi_request.h"
#include "support/gui_fixture.h"
#include "tape/sfile.h"

namespace korv::test {

class EventPumpTest : public QObject {
  Q_OBJECT

 private slots:
  void aWakeBeforeTheWaitReturnsAtOnce() {
    gui::QtEventPump pump;
    pump.wake();
    pump.pumpUntilWoken();  // would block forever if the wake were lost
    QCOMPARE(pump.loopsRun(), uint64_t(0));
  }

  void aWakeFromAnotherThreadEndsTheLoopAndEventsRunMeanwhile() {
    gui::QtEventPump pump;
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    std::thread worker([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      pump.wake();
    });
    pump.pumpUntilWoken();
    worker.join();
    QVERIFY(timerRan);
    QCOMPARE(pump.loopsRun(), uint64_t(1));
    QCOMPARE(pump.depth(), 0);
  }

  // A command started from inside the wait (as a click handler would) waits in a loop
  // above the first; the first command's completion does not strand either of them.
  void nestedWaitsBothReturnWhicheverCompletesFirst() {
    GuiWorkspace workspace;
    workspace.formatTape();
    GuiProgram program(workspace);
    program.bus.drive().setFaults({.delay = std::chrono::milliseconds(200)});
    TScsifile first(program.bus.transport(), program.pump, program.scripted);
    TScsifile second(program.bus.transport(), program.pump, program.scripted);
    program.bus.drive().setFaults({});
    QVERIFY(first.OpenDevice(4, true, true));
    QVERIFY(second.OpenDevice(4, true, true));
    program.bus.drive().setFaults({.delay = std::chrono::milliseconds(100)});

    bool secondDone = false;
    int nestedDepth = 0;
    QTimer::singleShot(10, [&] {
      nestedDepth = program.pump.depth();
      QVERIFY(second.TapeTestUnitReady());
      secondDone = true;
    });
    QVERIFY(first.TapeTestUnitReady());
    QVERIFY(secondDone);
    QCOMPARE(nestedDepth, 1);
    QCOMPARE(program.pump.depth(), 0);
  }

  // While a command is held pending, the waiting program sleeps: under 1 % of the time.
  void aPendingCommandCostsAlmostNoProcessorTime() {
    GuiWorkspace workspace;
    workspace.formatTape();
    GuiProgram program(workspace);
    QVERIFY(program.app.sf.OpenDevice(4, true, true));
    program.bus.drive().setFaults({.delay = std::chrono::milliseconds(500)});
    auto cpu = [] {
      rusage usage{};
      getrusage(RUSAGE_SELF, &usage);
      return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + usage.ru_utime.tv_usec +
             usage.ru_stime.tv_usec;
    };
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpu();
    QVERIFY(program.app.sf.TapeTestUnitReady());
    const double used = cpu() - cpu0;
    const double elapsed = wall.nsecsElapsed() / 1000.0;
    QVERIFY(elapsed >= 500000);
    QVERIFY2(used < 0.01 * elapsed, qPrintable(QString("%1 us of %2 us").arg(used).arg(elapsed)));
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::EventPumpTest)
#include "event_pump_test.moc"
