#include "sys/abort_signals.h"

#include <signal.h>

#include <atomic>

namespace korv {
namespace {

std::atomic<int> requestedBy{0};  // 0 none; -1 requested without a signal; else the signal
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
struct sigaction previous[sizeof kSignals / sizeof kSignals[0]];

extern "C" void onAbortSignal(int signal) {
  int none = 0;
  requestedBy.compare_exchange_strong(none, signal);
}

}  // namespace

AbortOnSignals::AbortOnSignals() {
  requestedBy.store(0);
  struct sigaction action {};
  action.sa_handler = onAbortSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    sigaction(kSignals[i], &action, &previous[i]);
}

AbortOnSignals::~AbortOnSignals() {
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    sigaction(kSignals[i], &previous[i], nullptr);
}

bool AbortOnSignals::requested() {
  return requestedBy.load() != 0;
}

void AbortOnSignals::clear() {
  requestedBy.store(0);
}

void AbortOnSignals::request() {
  int none = 0;
  requestedBy.compare_exchange_strong(none, -1);
}

int AbortOnSignals::signalNumber() {
  const int by = requestedBy.load();
  return by > 0 ? by : 0;
}

}  // namespace korv
