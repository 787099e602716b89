#pragma once
// The arithmetic of the progress dialog that needs no window: the bar's range and
// position (in KiB once the total passes the integer range), the transfer rate taken
// every 2.5 s, the number and time texts. Both faces show the same figures through it.

#include <cstdint>
#include <ctime>
#include <string>

namespace korv::jobs {

// "%13.0n" / "%19.0n": grouped thousands, no decimals, right-aligned in `width`.
std::string formatCount(double value, int width, char thousands = ',');
// "%10n": grouped thousands, two decimals, right-aligned in 10.
std::string formatMegabytes(double value, char thousands = ',', char decimal = '.');
// The selection's size in MB ("%10n" of bytes / 1024 / 1024).
std::string formatSelectedSize(float bytes);
// "%6.2f" of the rate in MB per minute.
std::string formatRate(double megabytesPerMinute);
// "yyyy/mm/dd hh.nn.ss" in local time.
std::string formatStartTime(std::time_t t, char dateSeparator = '/');
// "hh.nn.ss" of an elapsed time; the hours run 00..23 and start again after a day.
std::string formatElapsed(std::time_t elapsedSeconds);

inline constexpr double kRateInterval = 2.5;  // seconds between two rate ticks

// The progress dialog's state, as both faces keep it.
class ProgressState {
 public:
  explicit ProgressState(std::time_t begin = std::time(nullptr));

  // Dialog shown (activation): abort request and both byte fields cleared.
  void activate();

  void setallbyte(float total);
  void setallcount(int32_t count) { allcount_ = count; }
  void setcopycount(int32_t count) { copycount_ = count; }
  void setcopybyte(float done);
  void requestAbort() { abort_ = true; }
  void clearabort() { abort_ = false; }
  bool isabort() const { return abort_; }
  void stopclock(std::time_t now = std::time(nullptr));

  // The rate tick: MB per minute gained since the previous tick, then remembers curbyte.
  double rateTick();

  float allbyte() const { return allbyte_; }
  float copybyte() const { return curbyte_; }
  int32_t allcount() const { return allcount_; }
  int32_t copycount() const { return copycount_; }
  int32_t rangeMax() const { return rangeMax_; }
  int32_t position() const { return position_; }
  bool kbscale() const { return kbscale_; }
  std::time_t begin() const { return begin_; }
  // Elapsed seconds: frozen once the clock was stopped.
  std::time_t elapsed(std::time_t now = std::time(nullptr)) const;

 private:
  std::time_t begin_;
  std::time_t stoppedAt_ = 0;
  bool clockStopped_ = false;
  bool abort_ = false;
  bool kbscale_ = false;
  float allbyte_ = 0;
  float curbyte_ = 0;
  float prevbyte_ = 0;
  int32_t allcount_ = 0;
  int32_t copycount_ = 0;
  int32_t rangeMax_ = 0;
  int32_t position_ = 0;
};

// The selection figures of the backup dialog and the set browser: the count and the
// single-precision sum of the sizes.
struct SelectionFigures {
  int32_t count = 0;
  float bytes = 0;
};

}  // namespace korv::jobs
