#pragma once
// Which bus the program talks to, from the [TAPE_BUS] section of the options file or the
// terminal program's --tape / --device, and the transport that serves it.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "scsi/transport.h"

namespace korv {

class SysfsDiscovery;

struct BusConfig {
  enum class Kind { Auto, Virtual, Sg, Iscsi };
  Kind kind = Kind::Auto;
  std::map<int, std::string> images;   // virtual: image path per target id
  std::map<int, uint64_t> capacities;  // virtual: bytes the cartridge at an id holds
  uint64_t driveRate = 0;              // virtual: bytes per second the drives stream; 0 = no model
  int sgHost = -1;                     // sg: host adapter number
  std::string sgDevice;                // sg: a single /dev/sgN given directly
  std::string iscsiPortal;             // iscsi: iscsi://host[:port]/target-iqn (no LUN)
  int iscsiLun = -1;                   // iscsi: a single LUN given directly
};

struct Bus {
  std::unique_ptr<ScsiTransport> transport;
  // Which bus this is, for the scan and for messages: "the emulated drives", "sg host 2
  // (iscsi_tcp)", "sg /dev/sg1 (2:0:0:1, iscsi_tcp)", "iSCSI target iscsi://host/iqn...".
  std::string description;
};

// Opens the bus; `defaultImage` is the image of the default drive at id 4 when a virtual
// adapter has no images configured. Never throws; an unusable bus still yields a
// transport whose hostAdapter().ready is false.
Bus openBus(const BusConfig& config, const std::string& defaultImage);
// The same over the sysfs tree `sysfs` reads (tests give a fake one).
Bus openBus(const BusConfig& config, const std::string& defaultImage, const SysfsDiscovery& sysfs);

inline constexpr const char* kBusSection = "TAPE_BUS";

// The bus of the options file's [TAPE_BUS] section: adapter=auto|virtual|sg:<host>|
// iscsi://host[:port]/target-iqn, image0..image6 for the virtual adapter's drives (paths
// relative to the options file's folder), capacity0..capacity6 for the bytes their
// cartridges hold (a number with an optional K, M or G: powers of 1024), rate=<bytes per
// second> to make the drives take the time a streaming drive of that speed takes (for
// benchmarks). Missing file, section or keys give the defaults. A value that cannot be used
// leaves the default too and, when `problem` is given, says so there, with what is used
// instead (otherwise it stays empty).
BusConfig readBusConfig(const std::string& iniPath, std::string* problem = nullptr);

// The default drive's image when a virtual adapter names none: tape4.tap in the options
// file's folder.
std::string defaultImagePath(const std::string& iniPath);

// The bus both programs use when nothing else is named: the options file's [TAPE_BUS]
// (readBusConfig) opened with the default image beside the options file.
Bus openConfiguredBus(const std::string& iniPath, std::string* problem = nullptr);

// The adapter= value alone; nullopt when it is none of the forms above.
std::optional<BusConfig> parseAdapterValue(const std::string& value);

// "64M" -> 67108864; nullopt for anything but digits with an optional K, M or G, or 0.
std::optional<uint64_t> parseCapacity(const std::string& text);

// A single device named on the command line: "sg:/dev/sgN" or
// "iscsi://host[:port]/target-iqn[/lun]"; nullopt when malformed.
std::optional<BusConfig> parseDeviceUrl(const std::string& url);

}  // namespace korv
