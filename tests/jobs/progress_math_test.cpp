// The progress figures both faces show.

#include "jobs/progress_math.h"

#include <gtest/gtest.h>

#include "jobs/selection.h"

namespace korv::test {
namespace {

using namespace korv::jobs;

TEST(ProgressMathTest, BarRangeSwitchesToKibibytesPastTheIntegerRange) {
  ProgressState s;
  s.setallbyte(0);
  EXPECT_EQ(s.rangeMax(), 0);
  s.setallbyte(1000);
  EXPECT_EQ(s.rangeMax(), 1000);
  EXPECT_FALSE(s.kbscale());
  s.setallbyte(3000000000.0f);
  EXPECT_TRUE(s.kbscale());
  EXPECT_EQ(s.rangeMax(), 2929687);
  s.setcopybyte(2048);
  EXPECT_EQ(s.position(), 2);
  // 2^31 - 1 is not representable as a float: it rounds up to 2^31, past the range.
  s.setallbyte(2147483647.0f);
  EXPECT_TRUE(s.kbscale());
  s.setallbyte(-5);  // a total the bar cannot take leaves it empty
  EXPECT_EQ(s.rangeMax(), 0);
}

TEST(ProgressMathTest, RateIsMegabytesPerMinuteOverTheLastTick) {
  ProgressState s;
  s.activate();
  s.setcopybyte(5242880);
  EXPECT_EQ(formatRate(s.rateTick()), "120.00");
  EXPECT_EQ(formatRate(s.rateTick()), "  0.00");
  s.setcopybyte(0);  // activation or a smaller figure never gives a negative rate
  EXPECT_EQ(formatRate(s.rateTick()), "  0.00");
}

TEST(ProgressMathTest, TimeTexts) {
  EXPECT_EQ(formatElapsed(25 * 3600), "01.00.00");
  EXPECT_EQ(formatElapsed(3 * 3600 + 4 * 60 + 5), "03.04.05");
  ProgressState s(1000);
  s.stopclock(1065);
  EXPECT_EQ(s.elapsed(5000), 65);  // frozen once stopped
  setenv("TZ", "Asia/Tokyo", 1);
  tzset();
  EXPECT_EQ(formatStartTime(1733534430), "2024/12/07 10.20.30");
}

TEST(ProgressMathTest, NumberFormats) {
  EXPECT_EQ(formatCount(3, 13), "            3");
  EXPECT_EQ(formatCount(1234567, 19), "          1,234,567");
  EXPECT_EQ(formatCount(-1234, 0), "-1,234");
  EXPECT_EQ(formatSelectedSize(3 * 1048576.0f), "      3.00");
  EXPECT_EQ(formatMegabytes(1234.5), "  1,234.50");
  EXPECT_EQ(formatSelectedSize(0), "      0.00");
}

TEST(ProgressMathTest, SelectionRuleAndFigures) {
  ListSelection sel(3);
  sel.set(1, false);
  sel.selectAllOrNone();  // the first line is selected: everything goes
  EXPECT_FALSE(sel.selected(0) || sel.selected(1) || sel.selected(2));
  sel.set(2, true);
  sel.selectAllOrNone();  // the first is not: everything comes
  EXPECT_TRUE(sel.selected(0) && sel.selected(1) && sel.selected(2));

  std::vector<sf_file2> catalogue(3);
  for (auto& e : catalogue) e.size = 1048576;
  sel.set(1, false);
  const auto figures = countSelection(catalogue, sel);
  EXPECT_EQ(figures.count, 2);
  EXPECT_EQ(formatSelectedSize(figures.bytes), "      2.00");
}

}  // namespace
}  // namespace korv::test
