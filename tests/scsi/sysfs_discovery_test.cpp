// Discovery of sg devices against a fake sysfs tree laid out as the kernel does it: the
// class entry's "device" is a link to a folder named host:channel:target:lun.

#include "scsi/sysfs_discovery.h"

#include <gtest/gtest.h>

#include <fstream>

#include <cerrno>
#include <cstring>
#include <tuple>

#include "scsi/blocking_pump.h"
#include "scsi/bus.h"
#include "scsi/sg_transport.h"
#include "support/temp_dir.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
 protected:
  fs::path sys() const { return root / "sys"; }
  fs::path dev() const { return root / "dev"; }

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
  fs::path root = dir.path();  // a table test gives each case a tree of its own
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

TEST_F(FakeSysfs, DevicesOfAHostAreEveryLunInChannelTargetLunOrder) {
  addNode("sg4", "2:1:0:0", 0);
  addNode("sg0", "2:0:4:0", 1);
  addNode("sg1", "2:0:4:1", 8);
  addNode("sg2", "2:0:0:3", 1);
  addNode("sg3", "3:0:2:0", 1);
  std::vector<std::string> names;
  for (const SgNode& node : discovery().devicesOfHost(2)) names.push_back(node.name);
  EXPECT_EQ(names, (std::vector<std::string>{"sg2", "sg0", "sg1", "sg4"}));
}

// The bus adapter=auto opens, for the layouts real machines have.
TEST_F(FakeSysfs, AutoPicksTheFirstHostWithATapeAtAnyLun) {
  struct Case {
    const char* name;
    std::vector<std::tuple<const char*, const char*, int>> nodes;  // name, address, type
    std::string description;                                       // of the bus opened
    int tapeId;                                                    // where the tape answers on it
  };
  const Case cases[] = {
      {"a controller at LUN 0, the tape behind it",
       {{"sg0", "2:0:0:0", 12}, {"sg1", "2:0:0:1", 1}},
       "sg host 2 (iscsi_tcp)",
       1},
      {"two hosts, the second with the tape",
       {{"sg0", "0:0:0:0", 0}, {"sg1", "3:0:4:0", 1}},
       "sg host 3 (mptspi)",
       0},
      {"a tape at id 0 alone", {{"sg0", "2:0:0:0", 1}}, "sg host 2 (iscsi_tcp)", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    root = dir.path() / c.name;
    addHost(0, "ahci");
    addHost(2, "iscsi_tcp");
    addHost(3, "mptspi");
    for (const auto& [name, address, type] : c.nodes) {
      addNode(name, address, type);
      put(dev() / name, "");
    }
    const Bus bus = openBus(BusConfig{}, "unused.tap", discovery());
    EXPECT_EQ(bus.description, c.description);
    const std::string address = std::get<1>(c.nodes.back());
    EXPECT_EQ(bus.transport->deviceAddress(static_cast<uint8_t>(c.tapeId)), address);
  }
}

TEST_F(FakeSysfs, NoTapeOnAnyHostGivesTheEmulatedBusAndSaysSo) {
  addHost(0, "ahci");
  addNode("sg0", "0:0:0:0", 0);
  addNode("sg1", "0:0:1:0", 5);
  const Bus bus = openBus(BusConfig{}, (dir.path() / "tape4.tap").string(), discovery());
  EXPECT_EQ(bus.description, "the emulated drives (virtual adapter): no sg host has a tape drive");
  EXPECT_EQ(bus.transport->hostAdapter().identifier, "Virtual Bus");
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
  EXPECT_EQ(adapter.ownId, 7);  // the devices are ids 0 and 1
  EXPECT_EQ(adapter.identifier, "a-driver-name-lo");
  EXPECT_EQ(adapter.managerId, "Linux sg");

  BlockingPump pump;
  AspiRequest request{};
  request.SRB_Target = 8;
  EXPECT_EQ(transport->submit(request, nullptr, pump), SS_NO_DEVICE);
  EXPECT_EQ(requestStatus(request), SS_NO_DEVICE);

  request = AspiRequest{};
  request.SRB_Target = 0;
  request.SRB_SenseLen = kSenseAllocation;
  ASSERT_EQ(transport->submit(request, nullptr, pump), SS_PENDING);
  while (requestStatus(request) == SS_PENDING) pump.pumpUntilWoken();
  EXPECT_EQ(requestStatus(request), SS_ERR);
  EXPECT_NE(request.SRB_HaStat, HASTAT_OK);
  EXPECT_EQ(transport->failureReason(0),
            (dev() / "sg0").string() + ": SG_IO: " + std::strerror(ENOTTY));
}

TEST_F(FakeSysfs, HostWhoseDevicesCannotBeOpenedIsNotReady) {
  addHost(2, "mpt3sas");
  addNode("sg0", "2:0:4:0", 1);  // no node under dev(): as if permission were denied
  EXPECT_FALSE(openSgHost(discovery(), 2)->hostAdapter().ready);
  addHost(3, "ahci");  // a host without devices is usable; every id answers "no device"
  EXPECT_TRUE(openSgHost(discovery(), 3)->hostAdapter().ready);
}

TEST_F(FakeSysfs, SingleDeviceIsTheOnlyOneOnItsBusAtIdZero) {
  addHost(1, "usb-storage");
  addNode("sg3", "1:0:2:5", 1);
  put(dev() / "sg3", "");
  const std::string path = (dev() / "sg3").string();
  BusConfig named;
  named.kind = BusConfig::Kind::Sg;
  named.sgDevice = path;
  const Bus bus = openBus(named, "unused.tap", discovery());
  EXPECT_EQ(bus.description, "sg " + path + " (1:0:2:5, usb-storage)");
  BlockingPump pump;
  AspiRequest request{};
  request.SRB_Target = 2;
  EXPECT_EQ(bus.transport->submit(request, nullptr, pump), SS_NO_DEVICE);
  EXPECT_EQ(bus.transport->deviceAddress(0), "1:0:2:5");
  EXPECT_TRUE(bus.transport->hostAdapter().ready);
  EXPECT_EQ(bus.transport->hostAdapter().identifier, "usb-storage");
}

}  // namespace
}  // namespace korv::test
