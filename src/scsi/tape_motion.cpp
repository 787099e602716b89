#include "scsi/tape_motion.h"

#include <thread>

namespace korv {

void TapeMotion::setRate(uint64_t bytesPerSecond, uint64_t bufferBytes) {
  rate_ = static_cast<double>(bytesPerSecond);
  bufferSeconds_ = rate_ > 0 ? static_cast<double>(bufferBytes) / rate_ : 0;
  started_ = false;
  figures_ = {};
}

void TapeMotion::write(uint64_t bytes) {
  if (rate_ <= 0) return;
  const auto now = Clock::now();
  if (!started_) {
    started_ = true;
    drainedAt_ = now;
  } else if (now > drainedAt_) {
    figures_.idleSeconds += std::chrono::duration<double>(now - drainedAt_).count();
    drainedAt_ = now;
  }
  const double seconds = static_cast<double>(bytes) / rate_;
  figures_.busySeconds += seconds;
  drainedAt_ += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  // Full buffer: the host waits until the tape has made room.
  const auto roomAt = drainedAt_ - std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(bufferSeconds_));
  if (roomAt > now) std::this_thread::sleep_until(roomAt);
}

void TapeMotion::drain() {
  if (rate_ <= 0 || !started_) return;
  if (drainedAt_ > Clock::now()) std::this_thread::sleep_until(drainedAt_);
}

}  // namespace korv
