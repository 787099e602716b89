#include "gui/common/qt_event_pump.h"

#include <QEventLoop>
#include <QMetaObject>

namespace korv::gui {

QtEventPump::QtEventPump(QObject* parent) : QObject(parent) {}

QtEventPump::~QtEventPump() = default;

void QtEventPump::pumpUntilWoken() {
  // A wake-up since the last return (a command completed inside submit(), or before its
  // owner came to wait) returns at once; the caller re-checks its status byte.
  const uint64_t wakes = wakes_.load(std::memory_order_acquire);
  if (wakes != seen_) {
    seen_ = wakes;
    return;
  }
  QEventLoop loop;
  loops_.push_back(&loop);
  ++loopsRun_;
  const int result = loop.exec();
  loops_.pop_back();
  // exec() refuses to run (-1) once the application is quitting: wait without events,
  // rather than spin through loops that return at once.
  if (result == -1) sleepUntilWoken(wakes);
  seen_ = wakes_.load(std::memory_order_acquire);
}

void QtEventPump::sleepUntilWoken(uint64_t since) {
  std::unique_lock lock(mutex_);
  woken_.wait(lock, [&] { return wakes_.load(std::memory_order_acquire) != since; });
}

void QtEventPump::wake() {
  {
    std::lock_guard lock(mutex_);
    wakes_.fetch_add(1, std::memory_order_acq_rel);
  }
  woken_.notify_all();
  // One queued call at a time is enough: it ends every loop running when it is run, and
  // a wake-up after it has begun queues the next one.
  if (posted_.exchange(true, std::memory_order_acq_rel)) return;
  QMetaObject::invokeMethod(this, &QtEventPump::wakeLoops, Qt::QueuedConnection);
}

void QtEventPump::wakeLoops() {
  posted_.store(false, std::memory_order_release);
  for (QEventLoop* loop : loops_) loop->quit();
}

}  // namespace korv::gui
