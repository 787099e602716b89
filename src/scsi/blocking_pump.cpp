#include "scsi/blocking_pump.h"

namespace korv {

void BlockingPump::pumpUntilWoken() {
  // The hook stands for the events a face handles while it waits (a click that starts
  // another command); a command started from the hook waits here too and must not run
  // the hook again.
  if (hook_ && !inHook_) {
    inHook_ = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{inHook_};
    hook_();
  }
  std::unique_lock lock(mutex_);
  woken_.wait(lock, [this] { return pending_; });
  pending_ = false;
}

void BlockingPump::wake() {
  {
    std::lock_guard lock(mutex_);
    pending_ = true;
  }
  woken_.notify_all();
}

}  // namespace korv
