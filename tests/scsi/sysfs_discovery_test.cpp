// Discovery of sg devices against a fake sysfs tree laid out as the kernel does it: the
// class entry's "device" is a link to a folder named host:channel:target:lun.

#include "scsi/sysfs_discovery.h"

#include <gtest/gtest.h>

#include <fstream>

#include "scsi/blocking_pump.h"
#include "scsi/sg_transport.h"
#include "support/temp_dir.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
 protected:
  fs::path sys() const { return dir.path() / "sys"; }
  fs::path dev() const { return dir.path() / "dev"; }

  static void put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }

  // One sg node at `address` with the attributes the kernel shows.
  void addNode(const std::string& name, const std::string& address, int type,
               const std::string& vendor = "VENDOR  ", const std::string& model = "MODEL",
               const std::string& rev = "0001") {
    const fs::path device = sys() / "devices" / "platform" / "host" / address;
    put(device / "type", std::to_string(type) + "\n");
    put(device / "vendor", vendor + "\n");
    put(device / "model", model + "\n");
    put(device / "rev", rev + "\n");
    const fs::path entry = sys() / "class" / "scsi_generic" / name;
    fs::create_directories(entry);
    fs::create_directory_symlink(fs::relative(device, entry), entry / "device");
  }

  void addHost(int host, const std::string& driver) {
    put(sys() / "class" / "scsi_host" / ("host" + std::to_string(host)) / "proc_name",
        driver + "\n");
  }

  SysfsDiscovery discovery() const { return SysfsDiscovery(sys(), dev()); }

  TempDir dir;
};

TEST_F(FakeSysfs, ReadsEveryNodeInAddressOrderWithItsTexts) {
  addNode("sg1", "2:0:4:0", 1, "HP      ", "C5683A          ", "C305");
  addNode("sg0", "0:0:0:0", 0);
  const auto nodes = discovery().nodes();
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].name, "sg0");
  const SgNode& tape = nodes[1];
  EXPECT_EQ(tape.devicePath, (dev() / "sg1").string());
  EXPECT_EQ(tape.host, 2);
  EXPECT_EQ(tape.channel, 0);
  EXPECT_EQ(tape.target, 4);
  EXPECT_EQ(tape.lun, 0);
  EXPECT_EQ(tape.type, 1);
  EXPECT_EQ(tape.vendor, "HP");  // sysfs pads with blanks and ends with a newline
  EXPECT_EQ(tape.model, "C5683A");
  EXPECT_EQ(tape.revision, "C305");
}

TEST_F(FakeSysfs, TargetsOfAHostAreItsLunZeroDevicesLowestChannelFirst) {
  addNode("sg0", "2:0:4:0", 1);
  addNode("sg1", "2:0:5:1", 0);  // LUN 1: not a target of its own
  addNode("sg2", "2:1:4:0", 0);  // the same target id on channel 1
  addNode("sg3", "2:1:9:0", 1);  // ids above 7 are kept: --id reaches them
  addNode("sg4", "3:0:2:0", 1);
  const auto targets = discovery().targetsOfHost(2);
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets.at(4).name, "sg0");
  EXPECT_EQ(targets.at(9).name, "sg3");
}

TEST_F(FakeSysfs, AutoPicksTheFirstHostWithATapeAtLunZero) {
  addNode("sg0", "0:0:0:0", 0);  // a disk
  addNode("sg1", "1:0:3:2", 1);  // a tape, but not at LUN 0
  addNode("sg2", "4:0:6:0", 1);
  addNode("sg3", "5:0:1:0", 1);
  EXPECT_EQ(discovery().firstHostWithTape(), 4);
}

TEST_F(FakeSysfs, NoTreeMeansNothingFound) {
  EXPECT_TRUE(discovery().nodes().empty());
  EXPECT_FALSE(discovery().firstHostWithTape());
  EXPECT_FALSE(discovery().hostExists(0));
  EXPECT_EQ(discovery().hostDriver(0), "");
}

TEST_F(FakeSysfs, AddressFromTheScsiDeviceFolderWhenTheLinkSaysNothing) {
  const fs::path entry = sys() / "class" / "scsi_generic" / "sg7";
  put(entry / "device" / "type", "1\n");
  fs::create_directories(entry / "device" / "scsi_device" / "6:0:3:0");
  const auto node = discovery().nodeForDevice("/dev/sg7");
  ASSERT_TRUE(node);
  EXPECT_EQ(node->host, 6);
  EXPECT_EQ(node->target, 3);
  EXPECT_EQ(node->devicePath, "/dev/sg7");  // the path as the user named it
  EXPECT_FALSE(discovery().nodeForDevice("/dev/sg8"));
  EXPECT_FALSE(discovery().nodeForDevice("/dev/st0"));
}

TEST_F(FakeSysfs, HostDriverAndExistence) {
  addHost(2, "sym53c8xx");
  EXPECT_TRUE(discovery().hostExists(2));
  EXPECT_FALSE(discovery().hostExists(3));
  EXPECT_EQ(discovery().hostDriver(2), "sym53c8xx");
}

TEST(ScsiAddress, ParsesFourNumbersOnly) {
  int h, c, t, l;
  EXPECT_TRUE(parseScsiAddress("12:0:15:3", h, c, t, l));
  EXPECT_EQ(h, 12);
  EXPECT_EQ(t, 15);
  EXPECT_EQ(l, 3);
  for (const char* bad : {"", "1:2:3", "1:2:3:4:5", "a:0:0:0", "1::3:4", "-1:0:0:0", "1:0:0:0 "})
    EXPECT_FALSE(parseScsiAddress(bad, h, c, t, l)) << bad;
}

// The host as the bus sees it: absent targets answer "no device" at once, the adapter
// names the host's driver, and a node that is no sg device fails its command through the
// worker instead of hanging.
TEST_F(FakeSysfs, SgHostAnswersFromDiscovery) {
  addHost(2, "a-driver-name-longer-than-16");
  addNode("sg0", "2:0:4:0", 1);
  addNode("sg1", "2:0:7:0", 0);
  put(dev() / "sg0", "not a device");
  auto transport = openSgHost(discovery(), 2);

  const HostAdapterInfo adapter = transport->hostAdapter();
  EXPECT_TRUE(adapter.ready);
  EXPECT_EQ(adapter.ownId, 6);  // 7 is a device here
  EXPECT_EQ(adapter.identifier, "a-driver-name-lo");
  EXPECT_EQ(adapter.managerId, "Linux sg");

  BlockingPump pump;
  AspiRequest request{};
  request.SRB_Target = 5;
  EXPECT_EQ(transport->submit(request, nullptr, pump), SS_NO_DEVICE);
  EXPECT_EQ(requestStatus(request), SS_NO_DEVICE);

  request = AspiRequest{};
  request.SRB_Target = 4;
  request.SRB_SenseLen = kSenseAllocation;
  ASSERT_EQ(transport->submit(request, nullptr, pump), SS_PENDING);
  while (requestStatus(request) == SS_PENDING) pump.pumpUntilWoken();
  EXPECT_EQ(requestStatus(request), SS_ERR);
  EXPECT_NE(request.SRB_HaStat, HASTAT_OK);
}

TEST_F(FakeSysfs, HostWhoseDevicesCannotBeOpenedIsNotReady) {
  addHost(2, "mpt3sas");
  addNode("sg0", "2:0:4:0", 1);  // no node under dev(): as if permission were denied
  EXPECT_FALSE(openSgHost(discovery(), 2)->hostAdapter().ready);
  addHost(3, "ahci");  // a host without devices is usable; every id answers "no device"
  EXPECT_TRUE(openSgHost(discovery(), 3)->hostAdapter().ready);
}

TEST_F(FakeSysfs, SingleDeviceAnswersAtItsOwnTarget) {
  addHost(1, "usb-storage");
  addNode("sg3", "1:0:2:0", 1);
  put(dev() / "sg3", "");
  auto transport = openSgDevice(discovery(), (dev() / "sg3").string());
  BlockingPump pump;
  AspiRequest request{};
  request.SRB_Target = 0;
  EXPECT_EQ(transport->submit(request, nullptr, pump), SS_NO_DEVICE);
  EXPECT_TRUE(transport->hostAdapter().ready);
  EXPECT_EQ(transport->hostAdapter().identifier, "usb-storage");
}

}  // namespace
}  // namespace korv::test
