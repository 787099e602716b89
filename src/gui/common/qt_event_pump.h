#pragma once
// The desktop program's wait for the drive: while a command is pending, a nested
// QEventLoop runs, so windows paint, menus open and timers fire; the transport's
// completion wakes it through a queued call into the user-interface thread. Nothing
// spins and no timer polls: between events the thread sleeps in the event dispatcher.
//
// Nesting is real: a handler run inside the loop may start a command of its own (a bus
// scan, a re-bind that meets Busy) and wait in a loop above the first. A wake-up ends
// every loop running at that moment; each waiter re-checks its request's status byte and
// waits again if its own command is still pending.
//
// Once the application is quitting (the main window closed while a command waits), no
// event loop runs any more: the wait then sleeps on a condition until the completion.

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "scsi/transport.h"

class QEventLoop;

namespace korv::gui {

class QtEventPump : public QObject, public EventPump {
  Q_OBJECT

 public:
  explicit QtEventPump(QObject* parent = nullptr);
  ~QtEventPump() override;

  void pumpUntilWoken() override;
  void wake() override;  // any thread

  // Loops running now (0 when no command waits), and how many were run: for tests.
  int depth() const { return static_cast<int>(loops_.size()); }
  uint64_t loopsRun() const { return loopsRun_; }

 private:
  void wakeLoops();
  void sleepUntilWoken(uint64_t since);

  std::atomic<uint64_t> wakes_{0};
  std::atomic<bool> posted_{false};  // a wakeLoops() call is queued and not yet run
  uint64_t seen_ = 0;                // wakes_ as of the last return
  std::vector<QEventLoop*> loops_;   // innermost last
  uint64_t loopsRun_ = 0;
  std::mutex mutex_;
  std::condition_variable woken_;
};

}  // namespace korv::gui
