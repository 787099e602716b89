#pragma once
// The terminal program's (and the tests') event pump: it sleeps on a condition until a
// transport wakes it. An optional hook runs on every round, so tests can act "from inside
// the event loop" the way a click handler would.

#include <condition_variable>
#include <functional>
#include <mutex>

#include "scsi/transport.h"

namespace korv {

class BlockingPump : public EventPump {
 public:
  void pumpUntilWoken() override;
  void wake() override;
  // Runs once per pumpUntilWoken() call, before it blocks. Not re-entered.
  void setHook(std::function<void()> hook) { hook_ = std::move(hook); }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool pending_ = false;
  bool inHook_ = false;
  std::function<void()> hook_;
};

}  // namespace korv
