// The command layer at byte level: what each operation puts into the request block, when
// it refuses to send anything, and how it waits.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "scsi/blocking_pump.h"
#include "support/fake_transport.h"
#include "support/scripted_messages.h"
#include "tape/sfile.h"

namespace korv::test {
namespace {

using Bytes = std::vector<uint8_t>;

class SfileCommands : public ::testing::Test {
 protected:
  static constexpr int kTapeId = 4;

  void SetUp() override {
    bus.devices[kTapeId] = FakeDevice{};
    bus.devices[2] = FakeDevice{.type = 0};  // a disk
  }

  void bind(bool rewindImmediate = true) {
    ASSERT_TRUE(sf.OpenDevice(kTapeId, rewindImmediate, true));
    bus.sent.clear();
  }

  // The block every command must submit: cleared, then only the tabled fields set.
  static AspiRequest expectedBlock(const Bytes& cdb, uint8_t flags, uint32_t length,
                                   uint8_t target = kTapeId) {
    AspiRequest r;
    std::memset(&r, 0, sizeof r);
    r.SRB_Cmd = 2;
    r.SRB_Flags = flags;
    r.SRB_Target = target;
    r.SRB_BufLen = length;
    r.SRB_SenseLen = 32;
    r.SRB_CDBLen = 6;
    std::memcpy(r.CDBByte, cdb.data(), 6);
    return r;
  }

  void expectSentBlock(size_t i, const AspiRequest& expected) {
    ASSERT_LT(i, bus.sent.size());
    const AspiRequest& actual = bus.sent[i].request;
    EXPECT_EQ(0, std::memcmp(&actual, &expected, sizeof actual))
        << "request " << i << ": cdb " << ::testing::PrintToString(bus.cdb(i)) << " flags "
        << int(actual.SRB_Flags) << " length " << actual.SRB_BufLen;
  }

  FakeTransport bus;
  BlockingPump pump;
  ScriptedMessages messages;
  TScsifile sf{bus, pump, messages};
};

TEST_F(SfileCommands, EveryCommandSubmitsAFreshlyClearedBlock) {
  bind();
  uint8_t buffer[65536] = {};
  for (int i = 0; i < 268; ++i) buffer[i] = static_cast<uint8_t>(i);

  struct Case {
    const char* name;
    std::function<bool()> run;
    Bytes cdb;
    uint8_t flags;
    uint32_t length;
  };
  const std::vector<Case> cases = {
      {"test unit ready", [&] { return sf.TapeTestUnitReady(); }, {0x00, 0, 0, 0, 0, 0}, 0, 0},
      {"rewind immed", [&] { return sf.TapeRewind(); }, {0x01, 1, 0, 0, 0, 0}, 0, 0},
      {"erase", [&] { return sf.TapeErase(); }, {0x19, 3, 0, 0, 0, 0}, 0, 0},
      {"filemarks 1", [&] { return sf.TapeWriteFilemarks(1); }, {0x10, 0, 0, 0, 1, 0}, 0, 0},
      {"space -1 fm",
       [&] { return sf.TapeSpace(-1, SpaceFilemarks); },
       {0x11, 1, 0xFF, 0xFF, 0xFF, 0},
       0,
       0},
      {"space eod", [&] { return sf.TapeSpace(1, SpaceEndOfData); }, {0x11, 3, 0, 0, 1, 0}, 0, 0},
      {"space setmarks",
       [&] { return sf.TapeSpace(2, SpaceSetmarks); },
       {0x11, 4, 0, 0, 2, 0},
       0,
       0},
      {"space blocks -5",
       [&] { return sf.TapeSpace(-5, SpaceBlocks); },
       {0x11, 0, 0xFF, 0xFF, 0xFB, 0},
       0,
       0},
      {"space max",
       [&] { return sf.TapeSpace(0x7FFFFF, SpaceBlocks); },
       {0x11, 0, 0x7F, 0xFF, 0xFF, 0},
       0,
       0},
      {"space min",
       [&] { return sf.TapeSpace(-0x800000, SpaceFilemarks); },
       {0x11, 1, 0x80, 0, 0, 0},
       0,
       0},
      {"read 268", [&] { return sf.TapeRead(buffer, 268); }, {0x08, 0, 0, 1, 0x0C, 0}, 8, 268},
      {"read 65536", [&] { return sf.TapeRead(buffer, 65536); }, {0x08, 0, 1, 0, 0, 0}, 8, 65536},
      {"write 268", [&] { return sf.TapeWrite(buffer, 268); }, {0x0A, 0, 0, 1, 0x0C, 0}, 16, 268},
      {"write 65536",
       [&] { return sf.TapeWrite(buffer, 65536); },
       {0x0A, 0, 1, 0, 0, 0},
       16,
       65536},
      {"unload", [&] { return sf.TapeUnload(); }, {0x1B, 0, 0, 0, 0, 0}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The command before leaves sense data and a target status in the block.
    bus.outcomes.push_back({SS_ERR, SenseInfo{.valid = true, .key = SENSE_MEDIUM_ERROR}});
    EXPECT_FALSE(sf.TapeTestUnitReady());
    bus.sent.clear();

    EXPECT_TRUE(c.run());
    ASSERT_EQ(bus.sent.size(), 1u);
    expectSentBlock(0, expectedBlock(c.cdb, c.flags, c.length));
    EXPECT_EQ(bus.sent[0].hadData, c.length != 0);
    if (c.flags == 16) {
      EXPECT_EQ(0, std::memcmp(bus.sent[0].data.data(), buffer, c.length));
    }
    EXPECT_FALSE(sf.Busy);
  }
}

TEST_F(SfileCommands, RewindImmediateFollowsTheBindingOption) {
  bind(false);
  EXPECT_TRUE(sf.TapeRewind());
  EXPECT_EQ(bus.cdb(0), (Bytes{0x01, 0, 0, 0, 0, 0}));
}

TEST_F(SfileCommands, OnlyStatusOneIsSuccess) {
  bind();
  for (uint8_t status : {SS_ABORTED, SS_ERR, SS_INVALID_CMD, uint8_t{0xFF}}) {
    bus.outcomes.push_back({status, {}});
    EXPECT_FALSE(sf.TapeRewind()) << int(status);
    EXPECT_FALSE(sf.Busy);
  }
  EXPECT_TRUE(sf.TapeRewind());
}

TEST_F(SfileCommands, UnboundComponentSendsNothingButInquiryWorks) {
  uint8_t buffer[16] = {};
  EXPECT_FALSE(sf.TapeTestUnitReady());
  EXPECT_FALSE(sf.TapeRewind());
  EXPECT_FALSE(sf.TapeErase());
  EXPECT_FALSE(sf.TapeWriteFilemarks(1));
  EXPECT_FALSE(sf.TapeSpace(1, SpaceFilemarks));
  EXPECT_FALSE(sf.TapeRead(buffer, 16));
  EXPECT_FALSE(sf.TapeWrite(buffer, 16));
  EXPECT_FALSE(sf.TapeUnload());
  EXPECT_TRUE(bus.sent.empty());
  EXPECT_FALSE(sf.Busy);

  EXPECT_TRUE(sf.TapeInquiry(kTapeId));
  ASSERT_EQ(bus.sent.size(), 1u);
  expectSentBlock(0, expectedBlock({0x12, 0, 0, 0, 0x24, 0}, 8, 36));
  EXPECT_FALSE(sf.Opened);
}

TEST_F(SfileCommands, RefusedArgumentsSendNothingAndLeaveBusyClear) {
  bind();
  uint8_t buffer[16] = {};
  EXPECT_FALSE(sf.TapeSpace(3, 2));  // no such space code
  EXPECT_FALSE(sf.TapeSpace(1, 0));
  EXPECT_FALSE(sf.TapeSpace(0x800000, SpaceBlocks));  // does not fit 24 bits
  EXPECT_FALSE(sf.TapeRead(buffer, -1));
  EXPECT_FALSE(sf.TapeRead(buffer, 0x1000000));
  EXPECT_FALSE(sf.TapeRead(nullptr, 16));
  EXPECT_FALSE(sf.TapeWrite(buffer, -1));
  EXPECT_FALSE(sf.TapeWriteFilemarks(-1));
  EXPECT_TRUE(bus.sent.empty());
  EXPECT_FALSE(sf.Busy);
  EXPECT_TRUE(sf.TapeSpace(1, SpaceBlocks));  // and the component still works
}

TEST_F(SfileCommands, CommandFromInsideTheWaitFailsWhileTheFirstCompletes) {
  bind();
  bus.completion = FakeTransport::Completion::Manual;
  bool inner = true, innerInquiry = true, innerSpace = true;
  size_t sentDuringWait = 0;
  bool busyDuringWait = false;
  pump.setHook([&] {
    busyDuringWait = sf.Busy;
    inner = sf.TapeRewind();
    innerInquiry = sf.TapeInquiry(kTapeId);
    innerSpace = sf.TapeSpace(3, 2);  // refused code: must not clear the first one's Busy
    sentDuringWait = bus.sent.size();
    bus.completePending();
  });
  uint8_t buffer[268];
  EXPECT_TRUE(sf.TapeRead(buffer, 268));
  EXPECT_TRUE(busyDuringWait);
  EXPECT_FALSE(inner);
  EXPECT_FALSE(innerInquiry);
  EXPECT_FALSE(innerSpace);
  EXPECT_EQ(sentDuringWait, 1u);
  EXPECT_FALSE(sf.Busy);
  EXPECT_EQ(bus.sent.size(), 1u);
}

TEST_F(SfileCommands, InquiryTellsTapeFromDiskAndFromNothing) {
  bus.devices[3] = FakeDevice{.inquiryFails = true};
  bus.devices[5] = FakeDevice{.type = 0x21};  // tape, qualifier "not connected" bits set
  EXPECT_TRUE(sf.TapeInquiry(kTapeId));
  EXPECT_EQ(sf.BytesToText(sf.InquiryData, 8, 15), "FAKEVEND");
  for (int i = 36; i < kInquiryDataSize; ++i) ASSERT_EQ(sf.InquiryData[i], ' ') << i;

  EXPECT_FALSE(sf.TapeInquiry(2));  // disk
  EXPECT_FALSE(sf.TapeInquiry(6));  // nothing there
  EXPECT_EQ(sf.InquiryData[0], ' ');
  EXPECT_FALSE(sf.TapeInquiry(3));  // failed, transferred nothing
  EXPECT_TRUE(sf.TapeInquiry(5));   // only the low five bits are the type
  EXPECT_FALSE(sf.Busy);
}

TEST_F(SfileCommands, OpenDeviceSetsTheBindingAndTestsReadinessTwice) {
  sf.SetOpened = true;
  sf.Catalogue.resize(3);
  ASSERT_TRUE(sf.OpenDevice(kTapeId, false, true));
  EXPECT_EQ(sf.TargetId, kTapeId);
  EXPECT_TRUE(sf.Opened);
  EXPECT_FALSE(sf.SetOpened);
  EXPECT_TRUE(sf.Catalogue.empty());
  EXPECT_TRUE(sf.UseEod);
  EXPECT_FALSE(sf.RewindImmediate);
  EXPECT_EQ(sf.FormatId, "Quorvantelmix KORVESSIAN Format Ver2.1");
  EXPECT_EQ(bus.bound, (std::vector<uint8_t>{kTapeId}));
  ASSERT_EQ(bus.sent.size(), 3u);
  EXPECT_EQ(bus.cdb(0)[0], 0x12);
  expectSentBlock(1, expectedBlock({0, 0, 0, 0, 0, 0}, 0, 0));
  expectSentBlock(2, expectedBlock({0, 0, 0, 0, 0, 0}, 0, 0));
  EXPECT_TRUE(messages.retryQuestions.empty());
}

TEST_F(SfileCommands, OpenDeviceWithoutATapeThereChangesNothing) {
  bind();
  sf.SetOpened = true;
  sf.SetNumber = 3;
  sf.Catalogue.resize(2);
  for (int id : {2, 6, -1, 260}) {
    SCOPED_TRACE(id);
    bus.sent.clear();
    EXPECT_FALSE(sf.OpenDevice(id, false, false));
    EXPECT_EQ(sf.TargetId, kTapeId);
    EXPECT_TRUE(sf.Opened);
    EXPECT_TRUE(sf.SetOpened);
    EXPECT_EQ(sf.SetNumber, 3);
    EXPECT_EQ(sf.Catalogue.size(), 2u);
    EXPECT_TRUE(sf.UseEod);
    EXPECT_TRUE(sf.RewindImmediate);
    EXPECT_LE(bus.sent.size(), 1u);  // the INQUIRY at most
  }
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_TRUE(messages.retryQuestions.empty());
  EXPECT_EQ(bus.bound, (std::vector<uint8_t>{kTapeId}));
}

TEST_F(SfileCommands, NotReadyAsksAgainUntilNo) {
  // The first TEST UNIT READY is ignored; every later one fails until the answer is No.
  for (int i = 0; i < 10; ++i) bus.outcomes.push_back({SS_ERR, {}});
  messages.retryAnswers = {true, true, false};
  EXPECT_FALSE(sf.OpenDevice(kTapeId, true, true));
  ASSERT_EQ(messages.retryQuestions.size(), 3u);
  for (const auto& q : messages.retryQuestions)
    EXPECT_EQ(q, "媒体の準備が出来ていません．\r再試行しますか？");
  EXPECT_EQ(bus.sent.size(), 1u + 1u + 3u);  // INQUIRY, the ignored one, three tries
  EXPECT_TRUE(sf.Opened);                    // the new binding stays
  EXPECT_EQ(sf.TargetId, kTapeId);

  // A medium that becomes ready ends the questions with success.
  bus.outcomes = {{SS_ERR, {}}, {SS_ERR, {}}};
  messages.retryAnswers = {true};
  EXPECT_TRUE(sf.OpenDevice(kTapeId, true, true));
  EXPECT_EQ(messages.retryQuestions.size(), 4u);
}

}  // namespace
}  // namespace korv::test
