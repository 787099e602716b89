#pragma once
// Which bus the program talks to, from the [TAPE_BUS] section of the options file or the
// terminal program's --tape / --device, and the transport that serves it.

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "scsi/transport.h"

namespace korv {

struct BusConfig {
  enum class Kind { Auto, Virtual, Sg, Iscsi };
  Kind kind = Kind::Auto;
  std::map<int, std::string> images;  // virtual: image path per target id
  int sgHost = -1;                    // sg: host adapter number
  std::string sgDevice;               // sg: a single /dev/sgN given directly
  std::string iscsiPortal;            // iscsi: iscsi://host[:port]/target-iqn (no LUN)
  int iscsiLun = -1;                  // iscsi: a single LUN given directly
};

struct Bus {
  std::unique_ptr<ScsiTransport> transport;
  std::string description;  // for messages: "virtual", "sg host 2", "iscsi://..."
};

// Opens the bus; `defaultImage` is the image of the default drive at id 4 when a virtual
// adapter has no images configured. Never throws; an unusable bus still yields a
// transport whose hostAdapter().ready is false.
Bus openBus(const BusConfig& config, const std::string& defaultImage);

inline constexpr const char* kBusSection = "TAPE_BUS";

// The bus of the options file's [TAPE_BUS] section: adapter=auto|virtual|sg:<host>|
// iscsi://host[:port]/target-iqn, image0..image6 for the virtual adapter's drives (paths
// relative to the options file's folder). Missing file, section or keys give the
// defaults. A value that cannot be used leaves the default too and, when `problem` is
// given, says so there (otherwise it stays empty).
BusConfig readBusConfig(const std::string& iniPath, std::string* problem = nullptr);

// The default drive's image when a virtual adapter names none: tape4.tap in the options
// file's folder.
std::string defaultImagePath(const std::string& iniPath);

// The bus both programs use when nothing else is named: the options file's [TAPE_BUS]
// (readBusConfig) opened with the default image beside the options file.
Bus openConfiguredBus(const std::string& iniPath, std::string* problem = nullptr);

// The adapter= value alone; nullopt when it is none of the forms above.
std::optional<BusConfig> parseAdapterValue(const std::string& value);

// A single device named on the command line: "sg:/dev/sgN" or
// "iscsi://host[:port]/target-iqn[/lun]"; nullopt when malformed.
std::optional<BusConfig> parseDeviceUrl(const std::string& url);

}  // namespace korv
