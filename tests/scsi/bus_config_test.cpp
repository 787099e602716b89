// Which bus the options file and the command line name.

#include <gtest/gtest.h>

#include "scsi/bus.h"
#include "scsi/virtual_adapter.h"
#include "support/temp_dir.h"
#include "sys/ini.h"

namespace korv::test {
namespace {

TEST(BusConfig, ReadsTheTapeBusSection) {
  TempDir dir;
  const std::string ini = (dir.path() / "korvessian.ini").string();
  std::string problem = "stale";
  BusConfig none = readBusConfig(ini, &problem);  // no file: the defaults
  EXPECT_EQ(none.kind, BusConfig::Kind::Auto);
  EXPECT_TRUE(none.images.empty());
  EXPECT_EQ(problem, "");

  ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "adapter", "virtual"));
  ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "image2", "two.tap"));
  ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "image6", "/abs/six.tap"));
  ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "image7", "adapter.tap"));  // the adapter's id
  BusConfig config = readBusConfig(ini, &problem);
  EXPECT_EQ(config.kind, BusConfig::Kind::Virtual);
  EXPECT_EQ(config.images, (std::map<int, std::string>{{2, (dir.path() / "two.tap").string()},
                                                       {6, "/abs/six.tap"}}));

  // Cartridge sizes: bytes or binary K, M, G; anything else is named and ignored.
  ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "capacity2", "3M"));
  ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "capacity6", "70000"));
  ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "capacity5", "lots"));
  config = readBusConfig(ini, &problem);
  EXPECT_EQ(config.capacities, (std::map<int, uint64_t>{{2, 3u << 20}, {6, 70000}}));
  EXPECT_NE(problem.find("capacity5=lots"), std::string::npos) << problem;
  for (const char* bad : {"", "0", "M", "1.5G", "-1", "1T", "99999999999999999999"})
    EXPECT_FALSE(parseCapacity(bad)) << bad;
  EXPECT_EQ(parseCapacity("2g"), uint64_t{2} << 30);

  ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "adapter", "floppy"));
  EXPECT_EQ(readBusConfig(ini, &problem).kind, BusConfig::Kind::Auto);
  EXPECT_NE(problem.find("adapter=floppy"), std::string::npos);
}

TEST(BusConfig, AdapterValuesAndDeviceUrls) {
  auto sg = parseAdapterValue("sg:2");
  ASSERT_TRUE(sg);
  EXPECT_EQ(sg->kind, BusConfig::Kind::Sg);
  EXPECT_EQ(sg->sgHost, 2);
  auto iscsi = parseAdapterValue("iscsi://127.0.0.1:3260/iqn.2026-12.test:tape");
  ASSERT_TRUE(iscsi);
  EXPECT_EQ(iscsi->kind, BusConfig::Kind::Iscsi);
  EXPECT_EQ(iscsi->iscsiPortal, "iscsi://127.0.0.1:3260/iqn.2026-12.test:tape");
  for (const char* bad : {"sg:", "sg:x", "sg:-1", "iscsi://", "iscsi://host", "", "Virtual"})
    EXPECT_FALSE(parseAdapterValue(bad)) << bad;

  auto device = parseDeviceUrl("sg:/dev/sg3");
  ASSERT_TRUE(device);
  EXPECT_EQ(device->sgDevice, "/dev/sg3");
  auto lun = parseDeviceUrl("iscsi://host:3260/iqn.2026-12.test:tape/1");
  ASSERT_TRUE(lun);
  EXPECT_EQ(lun->iscsiPortal, "iscsi://host:3260/iqn.2026-12.test:tape");
  EXPECT_EQ(lun->iscsiLun, 1);
  for (const char* bad : {"sg:/dev/sda", "sg:/dev/sg", "/dev/sg0", "iscsi://host/1", "tape4.tap"})
    EXPECT_FALSE(parseDeviceUrl(bad)) << bad;
}

// Neither case may depend on the SCSI hosts of the machine the tests run on: the default
// (auto) bus would take a real tape drive, and a real host 0 may well be usable.
TEST(BusConfig, VirtualBusDefaultsToOneDriveAtFour) {
  TempDir dir;
  BusConfig virtualBus;
  virtualBus.kind = BusConfig::Kind::Virtual;
  Bus bus = openBus(virtualBus, (dir.path() / "tape4.tap").string());
  const HostAdapterInfo adapter = bus.transport->hostAdapter();
  EXPECT_TRUE(adapter.ready);
  EXPECT_EQ(adapter.ownId, 7);
  auto* drives = dynamic_cast<VirtualAdapter*>(bus.transport.get());
  ASSERT_NE(drives, nullptr);
  EXPECT_NE(drives->drive(4), nullptr);
  EXPECT_EQ(drives->drive(0), nullptr);

  BusConfig sg;
  sg.kind = BusConfig::Kind::Sg;
  sg.sgHost = 999;  // no such host
  EXPECT_FALSE(openBus(sg, "unused").transport->hostAdapter().ready);
}

}  // namespace
}  // namespace korv::test
