#include "scsi/bus.h"

#include <charconv>
#include <cstdint>
#include <filesystem>

#include "scsi/iscsi_transport.h"
#include "scsi/sg_transport.h"
#include "scsi/sysfs_discovery.h"
#include "scsi/virtual_adapter.h"
#include "sys/ini.h"

namespace korv {

namespace {

constexpr int kDefaultDriveId = 4;
constexpr int kImageKeys = 7;  // image0..image6: id 7 is the adapter's own

std::optional<int> parseNumber(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end || text.empty() || value < 0) return std::nullopt;
  return value;
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// iscsi://host[:port]/target-iqn: host and target both present.
bool isIscsiPortal(const std::string& url) {
  if (!startsWith(url, "iscsi://")) return false;
  const std::string rest = url.substr(8);
  const size_t slash = rest.find('/');
  return slash != std::string::npos && slash > 0 && slash + 1 < rest.size();
}

// A bus this build cannot reach yet: every target answers "no device" and the adapter
// reports itself unusable, so the scan says so and nothing is ever bound.
class UnavailableTransport : public ScsiTransport {
 public:
  uint8_t submit(AspiRequest& request, uint8_t*, EventPump&) override {
    setRequestStatus(request, SS_NO_DEVICE);
    return SS_NO_DEVICE;
  }
  HostAdapterInfo hostAdapter() override { return {}; }
};

constexpr const char* kEmulatedBus = "the emulated drives (virtual adapter)";

Bus openVirtual(const BusConfig& config, const std::string& defaultImage,
                std::string description = kEmulatedBus) {
  std::map<int, std::string> images = config.images;
  if (images.empty()) images[kDefaultDriveId] = defaultImage;
  auto adapter = std::make_unique<VirtualAdapter>(images, config.capacities);
  for (const auto& [id, image] : images) {
    if (EmulatedDrive* drive = adapter->drive(id)) drive->setRate(config.driveRate);
  }
  return {std::move(adapter), std::move(description)};
}

std::string sgHostText(const SysfsDiscovery& sysfs, int host) {
  const std::string driver = sysfs.hostDriver(host);
  return "sg host " + std::to_string(host) + (driver.empty() ? "" : " (" + driver + ")");
}

std::string sgDeviceText(const SysfsDiscovery& sysfs, const std::string& device) {
  const auto node = sysfs.nodeForDevice(device);
  if (!node) return "sg " + device;
  const std::string driver = sysfs.hostDriver(node->host);
  return "sg " + device + " (" + scsiAddressText(*node) + (driver.empty() ? "" : ", " + driver) +
         ")";
}

// The portal without a user name and password, which have no place on a screen.
std::string iscsiText(const BusConfig& config) {
  std::string url = config.iscsiPortal;
  const size_t hostStart = url.find("://") + 3;
  const size_t at = url.find('@', hostStart);
  if (at != std::string::npos && at < url.find('/', hostStart))
    url.erase(hostStart, at + 1 - hostStart);
  if (config.iscsiLun >= 0) url += "/" + std::to_string(config.iscsiLun);
  return "iSCSI target " + url;
}

}  // namespace

Bus openBus(const BusConfig& config, const std::string& defaultImage) {
  return openBus(config, defaultImage, SysfsDiscovery());
}

Bus openBus(const BusConfig& config, const std::string& defaultImage, const SysfsDiscovery& sysfs) {
  switch (config.kind) {
    case BusConfig::Kind::Auto: {
      // The first sg host adapter with a tape drive; the emulated drives when none has.
      if (const auto host = sysfs.firstHostWithTape())
        return {openSgHost(sysfs, *host), sgHostText(sysfs, *host)};
      return openVirtual(config, defaultImage,
                         std::string(kEmulatedBus) + ": no sg host has a tape drive");
    }
    case BusConfig::Kind::Virtual:
      return openVirtual(config, defaultImage);
    case BusConfig::Kind::Sg: {
      if (!config.sgDevice.empty())
        return {openSgDevice(sysfs, config.sgDevice), sgDeviceText(sysfs, config.sgDevice)};
      if (config.sgHost < 0) return {std::make_unique<UnavailableTransport>(), "sg"};
      return {openSgHost(sysfs, config.sgHost), sgHostText(sysfs, config.sgHost)};
    }
    case BusConfig::Kind::Iscsi:
      // Every LUN of the target is a target id, or the one LUN named.
      return {std::make_unique<IscsiTransport>(config.iscsiPortal, config.iscsiLun),
              iscsiText(config)};
  }
  return {std::make_unique<UnavailableTransport>(), "none"};
}

std::string defaultImagePath(const std::string& iniPath) {
  return (std::filesystem::path(iniPath).parent_path() / "tape4.tap").string();
}

Bus openConfiguredBus(const std::string& iniPath, std::string* problem) {
  return openBus(readBusConfig(iniPath, problem), defaultImagePath(iniPath));
}

std::optional<uint64_t> parseCapacity(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::string digits = text;
  uint64_t unit = 1;
  switch (digits.back()) {
    case 'K':
    case 'k':
      unit = uint64_t{1} << 10;
      break;
    case 'M':
    case 'm':
      unit = uint64_t{1} << 20;
      break;
    case 'G':
    case 'g':
      unit = uint64_t{1} << 30;
      break;
    default:
      break;
  }
  if (unit != 1) digits.pop_back();
  uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  auto [at, error] = std::from_chars(digits.data(), end, value);
  if (digits.empty() || error != std::errc() || at != end || value == 0) return std::nullopt;
  if (value > UINT64_MAX / unit) return std::nullopt;
  return value * unit;
}

std::optional<BusConfig> parseAdapterValue(const std::string& value) {
  BusConfig config;
  if (value == "auto") return config;
  if (value == "virtual") {
    config.kind = BusConfig::Kind::Virtual;
    return config;
  }
  if (startsWith(value, "sg:")) {
    config.kind = BusConfig::Kind::Sg;
    const std::string host = value.substr(3);
    if (startsWith(host, "/dev/sg")) {
      config.sgDevice = host;
      return config;
    }
    const auto number = parseNumber(host);
    if (!number) return std::nullopt;
    config.sgHost = *number;
    return config;
  }
  if (isIscsiPortal(value)) {
    config.kind = BusConfig::Kind::Iscsi;
    config.iscsiPortal = value;
    return config;
  }
  return std::nullopt;
}

std::optional<BusConfig> parseDeviceUrl(const std::string& url) {
  BusConfig config;
  if (startsWith(url, "sg:/dev/sg") && parseNumber(url.substr(10))) {
    config.kind = BusConfig::Kind::Sg;
    config.sgDevice = url.substr(3);
    return config;
  }
  if (!isIscsiPortal(url)) return std::nullopt;
  config.kind = BusConfig::Kind::Iscsi;
  config.iscsiPortal = url;
  // A last path element of digits is the LUN (a target name is never digits alone).
  const size_t slash = url.rfind('/');
  const std::string last = url.substr(slash + 1);
  if (const auto lun = parseNumber(last)) {
    config.iscsiPortal = url.substr(0, slash);
    config.iscsiLun = *lun;
    if (!isIscsiPortal(config.iscsiPortal)) return std::nullopt;
  }
  return config;
}

BusConfig readBusConfig(const std::string& iniPath, std::string* problem) {
  BusConfig config;
  if (problem) problem->clear();
  if (const auto adapter = readProfileString(iniPath, kBusSection, "adapter")) {
    if (const auto parsed = parseAdapterValue(*adapter)) {
      config = *parsed;
    } else if (problem) {
      *problem =
          iniPath + ": [" + kBusSection + "] adapter=" + *adapter +
          " is none of auto, virtual, sg:<host>, iscsi://<host>/<target>; using adapter=auto";
    }
  }
  const std::filesystem::path folder = std::filesystem::path(iniPath).parent_path();
  for (int id = 0; id < kImageKeys; ++id) {
    const auto image = readProfileString(iniPath, kBusSection, "image" + std::to_string(id));
    if (!image || image->empty()) continue;
    // Paths are bytes on Linux: taken as the file holds them, relative to its folder.
    config.images[id] = (folder / *image).string();
  }
  for (int id = 0; id < kImageKeys; ++id) {
    const std::string key = "capacity" + std::to_string(id);
    const auto text = readProfileString(iniPath, kBusSection, key);
    if (!text || text->empty()) continue;
    if (const auto bytes = parseCapacity(*text)) {
      config.capacities[id] = *bytes;
    } else if (problem && problem->empty()) {
      *problem = iniPath + ": [" + kBusSection + "] " + key + "=" + *text +
                 " is no size (bytes, or a number with K, M or G); the cartridge has no limit";
    }
  }
  if (const auto rate = readProfileString(iniPath, kBusSection, "rate")) {
    uint64_t value = 0;
    const char* end = rate->data() + rate->size();
    auto [at, error] = std::from_chars(rate->data(), end, value);
    if (error == std::errc() && at == end && !rate->empty()) {
      config.driveRate = value;
    } else if (problem && problem->empty()) {
      *problem =
          iniPath + ": [" + kBusSection + "] rate=" + *rate + " is no number of bytes per second";
    }
  }
  return config;
}

}  // namespace korv
