#pragma once
// What the Linux SCSI generic driver has attached, read from sysfs: every /dev/sgN with
// its host:channel:target:lun address, peripheral device type and INQUIRY texts, and the
// driver of each host adapter. The roots are injectable so tests can build a fake tree.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korv {

struct SgNode {
  std::string name;        // "sg3"
  std::string devicePath;  // "/dev/sg3"
  int host = -1;
  int channel = -1;
  int target = -1;
  int lun = -1;
  int type = -1;  // peripheral device type, -1 when sysfs does not say
  std::string vendor;
  std::string model;
  std::string revision;
};

class SysfsDiscovery {
 public:
  explicit SysfsDiscovery(std::filesystem::path sysRoot = "/sys",
                          std::filesystem::path devRoot = "/dev");

  // Every sg node whose address can be read, ordered by host, channel, target, lun.
  std::vector<SgNode> nodes() const;

  // Every device of `host`, in channel:target:lun order. Tape libraries and iSCSI targets
  // often put a controller at LUN 0 and the drive behind it, so no LUN is passed over.
  std::vector<SgNode> devicesOfHost(int host) const;

  bool hostExists(int host) const;
  // The host's driver name (scsi_host/hostN/proc_name), empty when unknown.
  std::string hostDriver(int host) const;

  // The lowest-numbered host with a sequential-access device at any LUN.
  std::optional<int> firstHostWithTape() const;

  // The node behind a device path ("/dev/sg3", or a link to it).
  std::optional<SgNode> nodeForDevice(const std::string& devicePath) const;

 private:
  std::optional<SgNode> readNode(const std::filesystem::path& classEntry) const;

  std::filesystem::path sysRoot_;
  std::filesystem::path devRoot_;
};

// "H:C:T:L" of a node, as lsscsi and the kernel write it.
std::string scsiAddressText(const SgNode& node);

// "2:0:4:0" -> host 2, channel 0, target 4, lun 0; false when malformed.
bool parseScsiAddress(const std::string& text, int& host, int& channel, int& target, int& lun);

}  // namespace korv
