// Waiting for the drive costs no processor time: a command the drive holds for two
// seconds must not keep a core busy. Measured as CPU time, never as wall time.

#include <sys/resource.h>

#include "support/drive_fixture.h"

namespace korv::test {
namespace {

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);  // every thread: the waiting one and the drive's
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class WaitCpu : public DriveFixture {};

TEST_F(WaitCpu, ACommandPendingForTwoSecondsCostsAlmostNoProcessor) {
  FaultPlan plan;
  plan.delay = std::chrono::milliseconds(2000);
  drive().setFaults(plan);
  const double before = cpuSeconds();
  EXPECT_TRUE(sf->TapeRewind());
  const double spent = cpuSeconds() - before;
  EXPECT_LT(spent, 0.1) << "CPU seconds spent waiting";
  EXPECT_EQ(countGood(0x01), 1);
}

}  // namespace
}  // namespace korv::test
