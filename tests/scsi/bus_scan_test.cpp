// The rows of the SCSI ID dialog and which tape drive it preselects.

#include "scsi/bus_scan.h"

#include <gtest/gtest.h>

#include <string>

#include "scsi/blocking_pump.h"
#include "support/fake_transport.h"
#include "support/scripted_messages.h"

namespace korv::test {
namespace {

class BusScanTest : public ::testing::Test {
 protected:
  BusScan& runScan() {
    EXPECT_TRUE(scan.scan());
    return scan;
  }

  FakeTransport bus;
  BlockingPump pump;
  ScriptedMessages messages;
  BusScan scan{bus, pump, messages};
};

TEST_F(BusScanTest, OneTapeAtFourIsPreselectedAndTheAdapterTakesItsRow) {
  bus.devices[4] = FakeDevice{};
  bus.devices[7] = FakeDevice{.type = 0};  // whatever answers at the adapter's id is replaced
  bus.completion = FakeTransport::Completion::Threaded;
  runScan();

  ASSERT_EQ(bus.sent.size(), 8u);
  for (int id = 0; id < 8; ++id) {
    const AspiRequest& r = bus.sent[id].request;
    EXPECT_EQ(r.SRB_Target, id);
    EXPECT_EQ(bus.cdb(id), (std::vector<uint8_t>{0x12, 0, 0, 0, 0x37, 0}));
    EXPECT_EQ(r.SRB_BufLen, 55u);
    EXPECT_EQ(r.SRB_Flags, SRB_DIR_IN);
    EXPECT_EQ(r.SRB_Cmd, SC_EXEC_SCSI_CMD);
    EXPECT_EQ(r.SRB_SenseLen, 32);
    EXPECT_EQ(r.SRB_CDBLen, 6);
  }

  const auto& rows = scan.rows();
  for (int id : {0, 1, 2, 3, 5, 6}) {
    EXPECT_EQ(rows[id].id, "  " + std::to_string(id));
    EXPECT_EQ(rows[id].typeText, "未接続");
    EXPECT_EQ(rows[id].vendor, "");
    EXPECT_EQ(rows[id].revision, "");
  }
  EXPECT_EQ(rows[4].typeText, "テープ");
  EXPECT_EQ(rows[4].deviceType, 1);
  EXPECT_EQ(rows[4].vendor, "FAKEVEND");
  EXPECT_EQ(rows[4].product, "Fake Tape Drive ");
  EXPECT_EQ(rows[4].revision, "0001" + std::string(20, ' '));  // bytes 32..55, spaces kept

  EXPECT_EQ(rows[7].typeText, "ＳＣＳＩホストアダプタ");
  EXPECT_EQ(rows[7].vendor, "FAKE MANAGER    ");
  EXPECT_EQ(rows[7].product, "FAKE ADAPTER    ");
  EXPECT_EQ(rows[7].revision, "");
  EXPECT_TRUE(rows[7].hostAdapter);
  EXPECT_EQ(scan.adapterId(), 7);

  EXPECT_EQ(scan.currentRow(), 5);
  EXPECT_EQ(scan.chosenId(), 4);
  EXPECT_EQ(scan.idText(), " 4");
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(BusScanTest, LastTapeFoundWinsAndClicksChooseOnlyTapeRows) {
  bus.devices[2] = FakeDevice{};
  bus.devices[3] = FakeDevice{.type = 0};
  bus.devices[5] = FakeDevice{};
  runScan();
  EXPECT_EQ(scan.chosenId(), 5);

  scan.clickRow(3);
  EXPECT_EQ(scan.chosenId(), 2);
  EXPECT_EQ(scan.idText(), " 2");
  for (int row : {4, 1, 8}) {  // a disk, nothing, the host adapter
    scan.clickRow(row);
    EXPECT_EQ(scan.currentRow(), row);
    EXPECT_EQ(scan.chosenId(), 2);
    EXPECT_EQ(scan.idText(), " 2");
  }
}

// On an iSCSI target every LUN sits at target 0, so a drive found there must be usable.
TEST_F(BusScanTest, TapeAtIdZeroAloneIsChosen) {
  bus.devices[0] = FakeDevice{};
  bus.devices[1] = FakeDevice{.type = 12};
  runScan();
  EXPECT_EQ(scan.currentRow(), 1);
  EXPECT_EQ(scan.chosenId(), 0);
  EXPECT_EQ(scan.idText(), " 0");
}

TEST_F(BusScanTest, TapesAtZeroAndThreeTheLastFoundWins) {
  bus.devices[0] = FakeDevice{};
  bus.devices[3] = FakeDevice{};
  runScan();
  EXPECT_EQ(scan.chosenId(), 3);
  scan.clickRow(1);
  EXPECT_EQ(scan.chosenId(), 0);
}

// A device that is there but whose INQUIRY got no answer used to read as a disk.
TEST_F(BusScanTest, DeviceThatDoesNotAnswerIsMarkedWithTheTransportsReason) {
  bus.devices[0] = FakeDevice{.noAnswer = true};
  bus.devices[2] = FakeDevice{.type = 0};
  bus.failure = "/dev/sg1: host status DID_TRANSPORT_FAILFAST (0x0F)";
  runScan();
  const ScanRow& row = scan.rows()[0];
  EXPECT_EQ(row.typeText, "応答なし");
  EXPECT_TRUE(row.notAnswering);
  EXPECT_EQ(row.deviceType, -1);
  EXPECT_EQ(row.vendor, "");
  EXPECT_EQ(row.failure, bus.failure);
  EXPECT_FALSE(scan.rows()[2].notAnswering);
  EXPECT_EQ(scan.firstNotAnswering(), 0);
  EXPECT_EQ(scan.chosenId(), -1);
}

TEST(RevisionColumn, AddressGoesBehindTheRevisionWhereItFits) {
  struct Case {
    std::string revision, address, shown;
  };
  const Case cases[] = {
      {"0001" + std::string(20, ' '), "2:0:0:1", "0001 2:0:0:1"},
      {"", "2:0:0:1", "2:0:0:1"},
      {"0001" + std::string(20, '\0'), "2:0:0:1", "0001 2:0:0:1"},
      {"0001" + std::string(20, ' '), "", "0001"},
      {"0001SERIAL-NUMBER-12345", "2:0:0:1", "0001SERIAL-NUMBER-12345"},  // no room
  };
  for (const Case& c : cases) {
    ScanRow row;
    row.revision = c.revision;
    row.address = c.address;
    EXPECT_EQ(revisionWithAddress(row), c.shown) << c.revision;
  }
}

TEST_F(BusScanTest, TypeTextsAndFailedInquiries) {
  bus.devices[0] = FakeDevice{.type = 14};
  bus.devices[1] = FakeDevice{.type = 8};
  bus.devices[2] = FakeDevice{.type = 0x45};  // qualifier bits above the type
  bus.devices[3] = FakeDevice{.inquiryFails = true};
  bus.adapter.managerId = std::string("ABC\0DEF", 7);
  bus.adapter.identifier = "A very long adapter name";
  runScan();
  const auto& rows = scan.rows();
  EXPECT_EQ(rows[0].typeText, "未定義または無し");
  EXPECT_EQ(rows[1].typeText, "メディアチェンジャ(ｼﾞｭｰｸﾎﾞｯｸｽ)");
  EXPECT_EQ(rows[1].typeText,  // the bracketed word in half-width katakana
            "\u30e1\u30c7\u30a3\u30a2\u30c1\u30a7\u30f3\u30b8\u30e3(\uff7c\uff9e\uff6d\uff70"
            "\uff78\uff8e\uff9e\uff6f\uff78\uff7d)");
  EXPECT_EQ(rows[2].typeText, "CD-ROM");
  EXPECT_EQ(rows[3].typeText, "ハードディスク");  // nothing transferred: a space, type 0
  EXPECT_EQ(rows[3].vendor, std::string(8, ' '));
  EXPECT_EQ(rows[3].revision, std::string(24, ' '));
  EXPECT_EQ(rows[7].vendor, "ABC             ");
  EXPECT_EQ(rows[7].product, "A very long adap");
  EXPECT_EQ(scan.chosenId(), -1);
  EXPECT_EQ(scan.idText(), "使用不可");
}

TEST_F(BusScanTest, UnusableAdapterShowsTheMessageAndSendsNothing) {
  bus.devices[4] = FakeDevice{};
  bus.adapter.ready = false;
  EXPECT_FALSE(scan.scan());
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].type, BoxType::Plain);
  EXPECT_EQ(messages.boxes[0].text, "ASPIが使用できません．");
  EXPECT_TRUE(bus.sent.empty());
  EXPECT_EQ(scan.rows()[4].id, "  4");
  EXPECT_EQ(scan.rows()[4].typeText, "");
  EXPECT_EQ(scan.chosenId(), -1);
  EXPECT_EQ(scan.idText(), "");
}

}  // namespace
}  // namespace korv::test
