#include "scsi/virtual_adapter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "scsi/blocking_pump.h"
#include "support/temp_dir.h"

namespace korv::test {
namespace {

AspiRequest request(uint8_t target, std::vector<uint8_t> cdb, uint8_t flags = 0,
                    uint32_t length = 0) {
  AspiRequest r;
  std::memset(&r, 0, sizeof r);
  r.SRB_Cmd = SC_EXEC_SCSI_CMD;
  r.SRB_Target = target;
  r.SRB_Flags = flags;
  r.SRB_BufLen = length;
  r.SRB_SenseLen = kSenseAllocation;
  r.SRB_CDBLen = 6;
  std::memcpy(r.CDBByte, cdb.data(), cdb.size());
  return r;
}

class VirtualAdapterTest : public ::testing::Test {
 protected:
  static constexpr uint8_t kId = 4;

  // Submits and waits the way the command layer does; returns the final status byte.
  uint8_t run(AspiRequest& r, uint8_t* data = nullptr, VirtualAdapter* on = nullptr) {
    VirtualAdapter& a = on != nullptr ? *on : *adapter;
    uint8_t answer = a.submit(r, data, pump);
    if (answer != SS_PENDING) return answer;
    while (requestStatus(r) == SS_PENDING) pump.pumpUntilWoken();
    return requestStatus(r);
  }

  TempDir dir;
  std::string image = (dir.path() / "tape4.tap").string();
  BlockingPump pump;
  std::unique_ptr<VirtualAdapter> adapter =
      std::make_unique<VirtualAdapter>(std::map<int, std::string>{{kId, image}});
};

TEST_F(VirtualAdapterTest, NoDeviceIsAnsweredAtOnce) {
  AspiRequest r = request(3, {0x12, 0, 0, 0, 36, 0});
  EXPECT_EQ(adapter->submit(r, nullptr, pump), SS_NO_DEVICE);
  EXPECT_EQ(requestStatus(r), SS_NO_DEVICE);
  AspiRequest lun = request(kId, {0x00, 0, 0, 0, 0, 0});
  lun.SRB_Lun = 1;
  EXPECT_EQ(adapter->submit(lun, nullptr, pump), SS_NO_DEVICE);
  EXPECT_EQ(adapter->drive(3), nullptr);
  EXPECT_NE(adapter->drive(kId), nullptr);
}

TEST_F(VirtualAdapterTest, DataTravelsBothWaysAndGoodCommandsComplete) {
  std::vector<uint8_t> block(65536);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i % 251);
  AspiRequest w = request(kId, {0x0A, 0, 0x01, 0x00, 0x00, 0}, SRB_DIR_OUT, 65536);
  EXPECT_EQ(run(w, block.data()), SS_COMP);
  EXPECT_EQ(w.SRB_TargStat, STATUS_GOOD);
  AspiRequest rw = request(kId, {0x01, 0, 0, 0, 0, 0});
  EXPECT_EQ(run(rw), SS_COMP);

  std::vector<uint8_t> back(65536);
  AspiRequest rd = request(kId, {0x08, 0, 0x01, 0x00, 0x00, 0}, SRB_DIR_IN, 65536);
  EXPECT_EQ(run(rd, back.data()), SS_COMP);
  EXPECT_EQ(back, block);
  EXPECT_EQ(std::vector<uint8_t>(rd.SenseArea, rd.SenseArea + 34), std::vector<uint8_t>(34, 0));

  uint8_t inquiry[36] = {};
  AspiRequest iq = request(kId, {0x12, 0, 0, 0, 36, 0}, SRB_DIR_IN, 36);
  EXPECT_EQ(run(iq, inquiry), SS_COMP);
  EXPECT_EQ(inquiry[0] & 0x1F, 1);
}

TEST_F(VirtualAdapterTest, FailureFillsTheSenseAreaWithinItsLength) {
  uint8_t buffer[16];
  AspiRequest rd = request(kId, {0x08, 0, 0, 0, 16, 0}, SRB_DIR_IN, 16);
  EXPECT_EQ(run(rd, buffer), SS_ERR);
  EXPECT_EQ(rd.SRB_TargStat, STATUS_CHKCOND);
  EXPECT_EQ(rd.SRB_HaStat, HASTAT_OK);
  SenseInfo s = decodeSense(rd.SenseArea, sizeof rd.SenseArea);
  EXPECT_EQ(describeSense(s), "sense 8/00/05 EOM info 16");

  AspiRequest shortSense = request(kId, {0x08, 0, 0, 0, 16, 0}, SRB_DIR_IN, 16);
  shortSense.SRB_SenseLen = 8;
  std::memset(shortSense.SenseArea, 0x55, sizeof shortSense.SenseArea);
  EXPECT_EQ(run(shortSense, buffer), SS_ERR);
  EXPECT_EQ(shortSense.SenseArea[0], 0xF0);
  EXPECT_EQ(shortSense.SenseArea[7], 10);
  EXPECT_EQ(shortSense.SenseArea[12], 0) << "nothing beyond the sense length";
}

TEST_F(VirtualAdapterTest, ImageHeldByAnotherAdapterAnswersBusy) {
  AspiRequest w = request(kId, {0x10, 0, 0, 0, 1, 0});
  ASSERT_EQ(run(w), SS_COMP);
  VirtualAdapter other({{kId, image}});
  AspiRequest tur = request(kId, {0x00, 0, 0, 0, 0, 0});
  EXPECT_EQ(run(tur, nullptr, &other), SS_ERR);
  EXPECT_EQ(tur.SRB_TargStat, STATUS_BUSY);
}

TEST_F(VirtualAdapterTest, BindingLoadsAnUnloadedCartridge) {
  AspiRequest unload = request(kId, {0x1B, 0, 0, 0, 0, 0});
  ASSERT_EQ(run(unload), SS_COMP);
  AspiRequest tur = request(kId, {0x00, 0, 0, 0, 0, 0});
  EXPECT_EQ(run(tur), SS_ERR);
  adapter->bind(kId);
  tur = request(kId, {0x00, 0, 0, 0, 0, 0});
  EXPECT_EQ(run(tur), SS_COMP);
}

TEST_F(VirtualAdapterTest, DelayedCommandStaysPendingAndIsAbortedByShutdown) {
  adapter->drive(kId)->setFaults({.delay = std::chrono::milliseconds(20)});
  AspiRequest quick = request(kId, {0x00, 0, 0, 0, 0, 0});
  EXPECT_EQ(run(quick), SS_COMP);

  adapter->drive(kId)->setFaults({.delay = std::chrono::hours(1)});
  AspiRequest first = request(kId, {0x01, 0, 0, 0, 0, 0});
  AspiRequest second = request(kId, {0x00, 0, 0, 0, 0, 0});
  EXPECT_EQ(adapter->submit(first, nullptr, pump), SS_PENDING);
  EXPECT_EQ(adapter->submit(second, nullptr, pump), SS_PENDING);
  EXPECT_EQ(requestStatus(first), SS_PENDING);
  adapter.reset();  // must not wait out the delay, nor leave anyone waiting
  EXPECT_EQ(requestStatus(first), SS_ABORTED);
  EXPECT_EQ(requestStatus(second), SS_ABORTED);
}

}  // namespace
}  // namespace korv::test
