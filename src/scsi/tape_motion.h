#pragma once
// A model of how a streaming drive spends its time, for benchmarks and tests: the tape
// moves at a fixed rate while the drive's buffer holds data, a write waits (asleep) while
// the buffer is full, and whenever the buffer runs empty before the next write comes the
// tape stands still: the time a real drive loses stopping and repositioning.

#include <chrono>
#include <cstdint>

namespace korv {

class TapeMotion {
 public:
  using Clock = std::chrono::steady_clock;

  struct Figures {
    double busySeconds = 0;  // the tape moving
    double idleSeconds = 0;  // the tape waiting for data between the first and last write
    double busyShare() const {
      const double all = busySeconds + idleSeconds;
      return all > 0 ? busySeconds / all : 0;
    }
  };

  // `bytesPerSecond` 0 turns the model off.
  void setRate(uint64_t bytesPerSecond, uint64_t bufferBytes);
  bool active() const { return rate_ > 0; }

  // `bytes` handed to the drive now; returns once the buffer has room for them.
  void write(uint64_t bytes);
  // Returns once the buffer is on tape (a filemark without Immed).
  void drain();
  Figures figures() const { return figures_; }

 private:
  double rate_ = 0;
  double bufferSeconds_ = 0;
  bool started_ = false;
  Clock::time_point drainedAt_{};  // when the tape has written everything handed to it
  Figures figures_;
};

}  // namespace korv
