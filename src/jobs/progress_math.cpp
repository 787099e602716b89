#include "jobs/progress_math.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace korv::jobs {

namespace {

// Fixed-point text of `value` with `decimals` decimals and the integer digits grouped
// by three.
std::string grouped(double value, int decimals, char thousands, char decimal) {
  if (!std::isfinite(value)) value = 0;
  char raw[400];
  std::snprintf(raw, sizeof raw, "%.*f", decimals, value);
  std::string text(raw);
  std::string sign;
  if (!text.empty() && text[0] == '-') {
    sign = "-";
    text.erase(0, 1);
  }
  const size_t point = text.find('.');
  std::string integer = text.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
  std::string out;
  for (size_t i = 0; i < integer.size(); ++i) {
    if (i > 0 && (integer.size() - i) % 3 == 0) out += thousands;
    out += integer[i];
  }
  if (!fraction.empty()) out += decimal + fraction;
  // "-0" is shown as "0".
  if (sign == "-" && out.find_first_not_of("0,.") != std::string::npos) out = sign + out;
  return out;
}

std::string rightAligned(std::string text, int width) {
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
  return text;
}

// Integer part, truncated toward zero; 0 for anything the bar cannot take (the dialog's
// failure rule: the bar stays empty, nothing else is disturbed).
int32_t toBarValue(double value) {
  if (!std::isfinite(value)) return 0;
  const double truncated = std::trunc(value);
  if (truncated < 0 || truncated > std::numeric_limits<int32_t>::max()) return 0;
  return static_cast<int32_t>(truncated);
}

}  // namespace

std::string formatCount(double value, int width, char thousands) {
  return rightAligned(grouped(value, 0, thousands, '.'), width);
}

std::string formatMegabytes(double value, char thousands, char decimal) {
  return rightAligned(grouped(value, 2, thousands, decimal), 10);
}

std::string formatSelectedSize(float bytes) {
  return formatMegabytes(static_cast<double>(bytes) / 1024 / 1024);
}

std::string formatRate(double megabytesPerMinute) {
  char text[64];
  std::snprintf(text, sizeof text, "%6.2f", megabytesPerMinute);
  return text;
}

std::string formatStartTime(std::time_t t, char dateSeparator) {
  std::tm local{};
  localtime_r(&t, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d%c%02d%c%02d %02d.%02d.%02d", local.tm_year + 1900,
                dateSeparator, local.tm_mon + 1, dateSeparator, local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec);
  return text;
}

std::string formatElapsed(std::time_t elapsedSeconds) {
  if (elapsedSeconds < 0) elapsedSeconds = 0;
  const long long s = elapsedSeconds;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld.%02lld.%02lld", (s / 3600) % 24, (s / 60) % 60, s % 60);
  return text;
}

ProgressState::ProgressState(std::time_t begin) : begin_(begin) {}

void ProgressState::activate() {
  abort_ = false;
  prevbyte_ = 0;
  curbyte_ = 0;
}

void ProgressState::setallbyte(float total) {
  allbyte_ = total;
  // Compared in double: 2147483647 as a float would round up to 2^31.
  const double t = total;
  if (std::isfinite(t) && t <= 2147483647.0) {
    kbscale_ = false;
    rangeMax_ = toBarValue(t);
  } else {
    kbscale_ = true;
    rangeMax_ = toBarValue(t / 1024);
  }
}

void ProgressState::setcopybyte(float done) {
  curbyte_ = done;
  position_ = toBarValue(kbscale_ ? static_cast<double>(done) / 1024 : static_cast<double>(done));
}

void ProgressState::stopclock(std::time_t now) {
  if (clockStopped_) return;
  clockStopped_ = true;
  stoppedAt_ = now;
}

double ProgressState::rateTick() {
  float gained = curbyte_ - prevbyte_;
  if (gained < 0) gained = 0;
  double rate = static_cast<double>(gained) / 1048576 * 60 / kRateInterval;
  if (rate < 0) rate = 0;
  prevbyte_ = curbyte_;
  return rate;
}

std::time_t ProgressState::elapsed(std::time_t now) const {
  const std::time_t end = clockStopped_ ? stoppedAt_ : now;
  return end > begin_ ? end - begin_ : 0;
}

}  // namespace korv::jobs
