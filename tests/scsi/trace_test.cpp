// The tracer reports each command once, completely, and before the command returns.

#include "scsi/trace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "scsi/blocking_pump.h"
#include "support/fake_transport.h"
#include "support/scripted_messages.h"
#include "tape/sfile.h"

namespace korv::test {
namespace {

TraceRecord record(std::vector<uint8_t> cdb, uint8_t flags, uint32_t length, uint8_t status) {
  TraceRecord r;
  std::memcpy(r.cdb, cdb.data(), 6);
  r.flags = flags;
  r.length = length;
  r.status = status;
  return r;
}

TEST(FormatTrace, LinesForEachOutcome) {
  EXPECT_EQ(formatTrace(record({0x08, 0, 0, 1, 0x0C, 0}, SRB_DIR_IN, 268, SS_COMP)),
            "cdb 08 00 00 01 0C 00 in 268 good");

  TraceRecord space = record({0x11, 1, 0xFF, 0xFF, 0xFF, 0}, 0, 0, SS_ERR);
  space.sense.valid = true;
  space.sense.key = SENSE_BLANK_CHECK;
  space.sense.ascq = 5;
  space.sense.eom = true;
  EXPECT_EQ(formatTrace(space),
            "cdb 11 01 FF FF FF 00 none 0 failed " + describeSense(space.sense));

  EXPECT_EQ(formatTrace(record({0x0A, 0, 1, 0, 0, 0}, SRB_DIR_OUT, 65536, SS_ERR)),
            "cdb 0A 00 01 00 00 00 out 65536 failed");
  EXPECT_EQ(formatTrace(record({0x12, 0, 0, 0, 0x24, 0}, SRB_DIR_IN, 36, SS_NO_DEVICE)),
            "cdb 12 00 00 00 24 00 in 36 no device");
}

class TracingTest : public ::testing::Test {
 protected:
  void SetUp() override { bus.devices[4] = FakeDevice{}; }

  FakeTransport bus;
  std::vector<TraceRecord> records;
  TracingTransport tracer{bus, [this](const TraceRecord& r) { records.push_back(r); }};
  BlockingPump pump;
  ScriptedMessages messages;
  TScsifile sf{tracer, pump, messages};
};

TEST_F(TracingTest, EveryCommandIsReportedBeforeItReturns) {
  bus.completion = FakeTransport::Completion::Threaded;
  bus.delayMs = 0;
  ASSERT_TRUE(sf.OpenDevice(4, true, true));
  ASSERT_EQ(records.size(), 3u);
  for (int i = 0; i < 200; ++i) {
    const size_t before = records.size();
    ASSERT_TRUE(sf.TapeWriteFilemarks(i));
    ASSERT_EQ(records.size(), before + 1) << "command " << i;
    EXPECT_EQ(records.back().cdb[4], static_cast<uint8_t>(i));
  }
}

TEST_F(TracingTest, FailureCarriesSenseToTheRecordAndTheCallersBlock) {
  ASSERT_TRUE(sf.OpenDevice(4, true, true));
  records.clear();
  SenseInfo sense;
  sense.valid = true;
  sense.key = SENSE_MEDIUM_ERROR;
  sense.asc = 0x11;
  bus.outcomes.push_back({SS_ERR, sense});
  uint8_t buffer[268];
  EXPECT_FALSE(sf.TapeRead(buffer, 268));
  ASSERT_EQ(records.size(), 1u);
  const TraceRecord& r = records[0];
  EXPECT_EQ(r.target, 4);
  EXPECT_EQ(r.flags, SRB_DIR_IN);
  EXPECT_EQ(r.length, 268u);
  EXPECT_EQ(r.status, SS_ERR);
  EXPECT_TRUE(r.sense.valid);
  EXPECT_EQ(r.sense.key, SENSE_MEDIUM_ERROR);
  EXPECT_EQ(r.sense.asc, 0x11);
  // What the drive returned reaches the component's own block as well.
  EXPECT_EQ(decodeSense(sf.AspiRequest.SenseArea, sizeof sf.AspiRequest.SenseArea).key,
            SENSE_MEDIUM_ERROR);
  EXPECT_EQ(sf.AspiRequest.SRB_TargStat, STATUS_CHKCOND);
}

TEST_F(TracingTest, NoDeviceIsReportedAtOnceAndOverlappingRequestsStayApart) {
  // A second component on the same bus inquires while the first one's command is pending.
  TScsifile other{tracer, pump, messages};
  ASSERT_TRUE(sf.OpenDevice(4, true, true));
  records.clear();
  bus.completion = FakeTransport::Completion::Manual;
  size_t seenInHook = 0;
  bool otherFound = true;
  pump.setHook([&] {
    otherFound = other.TapeInquiry(6);
    seenInHook = records.size();
    bus.completePending();
  });
  EXPECT_TRUE(sf.TapeRewind());
  EXPECT_FALSE(otherFound);
  EXPECT_EQ(seenInHook, 1u);  // the "no device" answer, while the rewind was still pending
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(formatTrace(records[0]), "cdb 12 00 00 00 24 00 in 36 no device");
  EXPECT_EQ(records[0].target, 6);
  EXPECT_EQ(formatTrace(records[1]), "cdb 01 01 00 00 00 00 none 0 good");
  EXPECT_EQ(records[1].target, 4);
}

}  // namespace
}  // namespace korv::test
