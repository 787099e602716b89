// The iSCSI transport's session against tgtd: what a new session meets first, and a
// target that stops answering without closing the connection (a hung server): the
// command fails at its deadline, and the next command logs in afresh.

#include <chrono>

#include "integration_env.h"
#include "raw_bus.h"
#include "scsi/iscsi_transport.h"
#include "scsi/pass_through.h"

namespace korv::test {
namespace {

using namespace std::chrono_literals;

constexpr uint8_t kTape = 1;

// Difference 10 of the differential test: the first command of a new session meets the
// unit attention of the reset; OpenDevice's first TEST UNIT READY, whose result is
// ignored, takes it.
TEST(IscsiSession, NewSessionStartsWithAUnitAttention) {
  REQUIRE_ISCSI();
  IscsiTransport session(iscsiPortal(), kTape);
  RawBus tape(session, kTape);
  EXPECT_EQ(tape.testUnitReady().summary(), "failed sense 6/29/00");
  EXPECT_TRUE(tape.testUnitReady().good());
}

TEST(IscsiSession, AFrozenTargetTimesTheCommandOut) {
  REQUIRE_ISCSI();
  IscsiTransport session(iscsiPortal(), kTape);
  RawBus tape(session, kTape);
  tape.testUnitReady();
  ASSERT_TRUE(tape.testUnitReady().good());

  ASSERT_TRUE(tgtd("PAUSE"));
  const auto start = std::chrono::steady_clock::now();
  const RawResult frozen = tape.inquiry();
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(tgtd("RESUME"));
  EXPECT_EQ(frozen.status, SS_ERR);
  EXPECT_EQ(frozen.haStat, HASTAT_TIMEOUT);
  EXPECT_GE(took, std::chrono::seconds(commandTimeoutSeconds(0x12)) - 1s);
  EXPECT_LT(took, std::chrono::seconds(commandTimeoutSeconds(0x12)) + 5s);

  // The session was given up; the next command logs in again.
  const RawResult first = tape.testUnitReady();
  EXPECT_TRUE(first.good() || first.sense.key == SENSE_UNIT_ATTENTION) << first.summary();
  EXPECT_TRUE(tape.inquiry().good());
}

}  // namespace
}  // namespace korv::test
