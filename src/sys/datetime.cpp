#include "sys/datetime.h"

#include <cmath>
#include <cstdio>

namespace korv {
namespace {

constexpr long long kSecondsPerDay = 86400;
constexpr long long kFileTimeUnixOffset = 11644473600LL;  // 1601-01-01 .. 1970-01-01
constexpr long long kFileTicksPerSecond = 10000000LL;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const long long kDateTimeEpoch = daysFromCivil(1899, 12, 30);

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

struct DosFields {
  int year, month, day, hour, minute, second;
};

std::optional<DosFields> splitDos(uint32_t packed) {
  const uint32_t date = packed >> 16;
  const uint32_t time = packed & 0xFFFF;
  DosFields f{static_cast<int>(1980 + (date >> 9)), static_cast<int>((date >> 5) & 0x0F),
              static_cast<int>(date & 0x1F),        static_cast<int>(time >> 11),
              static_cast<int>((time >> 5) & 0x3F), static_cast<int>((time & 0x1F) * 2)};
  if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > daysInMonth(f.year, f.month) ||
      f.hour > 23 || f.minute > 59 || f.second > 59) {
    return std::nullopt;
  }
  return f;
}

std::time_t localToTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;  // let the zone rules decide
  return std::mktime(&tm);
}

}  // namespace

double toDateTime(std::time_t t, long nanoseconds) {
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return 0.0;
  const long long days =
      daysFromCivil(tm.tm_year + 1900LL, tm.tm_mon + 1, tm.tm_mday) - kDateTimeEpoch;
  const double fraction =
      (tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec + nanoseconds / 1e9) / kSecondsPerDay;
  // Before the epoch the whole days count backwards but the time of day still counts
  // forwards: -1.25 is 1899-12-29 06:00.
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

double nowDateTime() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return toDateTime(now.tv_sec, now.tv_nsec);
}

std::time_t fromDateTime(double dateTime) {
  if (!std::isfinite(dateTime) || std::fabs(dateTime) > 3e6) return static_cast<std::time_t>(-1);
  const double whole = std::trunc(dateTime);
  long long seconds = std::llround(std::fabs(dateTime - whole) * kSecondsPerDay);
  int year, month, day;
  civilFromDays(kDateTimeEpoch + static_cast<long long>(whole), year, month, day);
  // mktime normalises a rounded-up 86400 seconds into the next day.
  return localToTime(year, month, day, 0, 0, static_cast<int>(seconds));
}

uint32_t packDosDateTime(std::time_t t) {
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return 0x00210000;
  const int year = tm.tm_year + 1900;
  // The format holds 1980 to 2107; outside that the nearest end is the honest answer.
  if (year < 1980) return 0x00210000;                 // 1980-01-01 00:00:00
  if (year > 2107) return (0xFF9Fu << 16) | 0xBF7Du;  // 2107-12-31 23:59:58
  const uint32_t date = ((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday;
  const uint32_t time = (tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2);
  return (date << 16) | time;
}

std::time_t unpackDosDateTime(uint32_t packed) {
  const auto f = splitDos(packed);
  if (!f) return static_cast<std::time_t>(-1);
  return localToTime(f->year, f->month, f->day, f->hour, f->minute, f->second);
}

bool isValidDosDateTime(uint32_t packed) {
  return splitDos(packed).has_value();
}

std::optional<uint32_t> packedFromDouble(double packed) {
  if (!std::isfinite(packed) || packed < 0 || packed > 4294967295.0 ||
      packed != std::trunc(packed)) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(packed);
}

uint64_t toFileTime(std::time_t seconds, long nanoseconds) {
  const long long shifted = static_cast<long long>(seconds) + kFileTimeUnixOffset;
  if (shifted < 0) return 0;  // before 1601: nothing to express
  return static_cast<uint64_t>(shifted) * kFileTicksPerSecond +
         static_cast<uint64_t>(nanoseconds / 100);
}

struct timespec fromFileTime(uint64_t fileTime) {
  struct timespec ts {};
  ts.tv_sec = static_cast<std::time_t>(fileTime / kFileTicksPerSecond) - kFileTimeUnixOffset;
  ts.tv_nsec = static_cast<long>(fileTime % kFileTicksPerSecond) * 100;
  return ts;
}

std::string formatPacked(double packed, char separator) {
  const auto value = packedFromDouble(packed);
  if (!value) return "";
  const auto f = splitDos(*value);
  if (!f) return "";
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", f->year, f->month, f->day,
                separator, f->hour, f->minute, f->second);
  return text;
}

std::string formatLocalDateTime(std::time_t t) {
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return "";
  char text[80];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

}  // namespace korv
