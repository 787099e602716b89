#include "sys/datetime.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace korv {
namespace {

// The suite runs with TZ=Asia/Tokyo (no daylight saving); set it here as well so that a
// direct run of the binary gives the same answers.
class DateTime : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
  }
  static std::time_t local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
  }
};

TEST_F(DateTime, DateTimeDoubleCountsLocalDaysSince18991230) {
  EXPECT_DOUBLE_EQ(toDateTime(local(1899, 12, 30)), 0.0);
  EXPECT_DOUBLE_EQ(toDateTime(local(2026, 12, 7, 12)), 46363.5);
  EXPECT_DOUBLE_EQ(toDateTime(local(2026, 12, 7, 6), 500000000), 46363.25 + 0.5 / 86400);
  // Before the epoch the day counts down but the time of day still counts up.
  EXPECT_DOUBLE_EQ(toDateTime(local(1899, 12, 29, 6)), -1.25);

  EXPECT_EQ(fromDateTime(46363.5), local(2026, 12, 7, 12));
  EXPECT_EQ(fromDateTime(-1.25), local(1899, 12, 29, 6));
  EXPECT_EQ(fromDateTime(46363.0 + 86399.9 / 86400), local(2026, 12, 8));  // rounds up
  const std::time_t t = local(2026, 3, 4, 5, 6, 7);
  EXPECT_EQ(fromDateTime(toDateTime(t)), t);
}

TEST_F(DateTime, DosPackingFieldsAndTwoSecondSteps) {
  const uint32_t packed = packDosDateTime(local(2026, 12, 7, 10, 20, 31));
  EXPECT_EQ(packed >> 16, (46u << 9) | (12u << 5) | 7u);
  EXPECT_EQ(packed & 0xFFFF, (10u << 11) | (20u << 5) | 15u);  // 31 s is stored as 30 s
  EXPECT_EQ(unpackDosDateTime(packed), local(2026, 12, 7, 10, 20, 30));
  EXPECT_EQ(formatPacked(packed), "2026-12-07 10:20:30");
  EXPECT_EQ(formatPacked(packed, 'T'), "2026-12-07T10:20:30");
}

TEST_F(DateTime, DosPackingClampsToItsRange) {
  EXPECT_EQ(packDosDateTime(local(1979, 12, 31, 23, 59, 59)), 0x00210000u);
  EXPECT_EQ(formatPacked(packDosDateTime(local(1979, 6, 1))), "1980-01-01 00:00:00");
  EXPECT_EQ(formatPacked(packDosDateTime(local(1980, 1, 1))), "1980-01-01 00:00:00");
  EXPECT_EQ(formatPacked(packDosDateTime(local(2107, 12, 31, 23, 59, 59))), "2107-12-31 23:59:58");
  EXPECT_EQ(formatPacked(packDosDateTime(local(2108, 1, 1))), "2107-12-31 23:59:58");
}

TEST_F(DateTime, DamagedPackedValuesAreNoDate) {
  EXPECT_EQ(formatPacked(0.0), "");  // month 0
  EXPECT_EQ(formatPacked(0.5), "");
  EXPECT_EQ(formatPacked(-1.0), "");
  EXPECT_EQ(formatPacked(4294967296.0), "");
  EXPECT_EQ(formatPacked(static_cast<double>((46u << 25) | (2u << 21) | (30u << 16))), "");
  EXPECT_EQ(unpackDosDateTime(0), static_cast<std::time_t>(-1));
  EXPECT_EQ(unpackDosDateTime(0x00210000 | (24u << 11)), static_cast<std::time_t>(-1));
}

TEST_F(DateTime, FileTimeOfKnownInstants) {
  EXPECT_EQ(toFileTime(946684800, 0), 125911584000000000ull);  // 2000-01-01T00:00:00Z
  EXPECT_EQ(toFileTime(0, 123456789), 116444736001234567ull);
  EXPECT_EQ(toFileTime(-11644473601, 0), 0u);  // before 1601
  const timespec ts = fromFileTime(125911584001234567ull);
  EXPECT_EQ(ts.tv_sec, 946684800);
  EXPECT_EQ(ts.tv_nsec, 123456700);
}

}  // namespace
}  // namespace korv
