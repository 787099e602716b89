#include "scsi/sysfs_discovery.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace korv {

namespace {

// A sysfs attribute without its trailing newline and padding; empty when unreadable.
std::string readAttribute(const fs::path& file) {
  std::ifstream in(file);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  std::string value = text.str();
  while (!value.empty() && (value.back() == '\n' || value.back() == ' ' || value.back() == '\0'))
    value.pop_back();
  return value;
}

std::optional<int> parseInt(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || at != end) return std::nullopt;
  return value;
}

auto addressOf(const SgNode& n) {
  return std::make_tuple(n.host, n.channel, n.target, n.lun);
}

}  // namespace

std::string scsiAddressText(const SgNode& node) {
  return std::to_string(node.host) + ":" + std::to_string(node.channel) + ":" +
         std::to_string(node.target) + ":" + std::to_string(node.lun);
}

bool parseScsiAddress(const std::string& text, int& host, int& channel, int& target, int& lun) {
  int parts[4];
  size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t end = i < 3 ? text.find(':', at) : text.size();
    if (end == std::string::npos) return false;
    const auto value = parseInt(text.substr(at, end - at));
    if (!value || *value < 0) return false;
    parts[i] = *value;
    at = end + 1;
  }
  host = parts[0];
  channel = parts[1];
  target = parts[2];
  lun = parts[3];
  return true;
}

SysfsDiscovery::SysfsDiscovery(fs::path sysRoot, fs::path devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

std::optional<SgNode> SysfsDiscovery::readNode(const fs::path& classEntry) const {
  SgNode node;
  node.name = classEntry.filename().string();
  node.devicePath = (devRoot_ / node.name).string();
  const fs::path device = classEntry / "device";

  // The device link ends in the address; its scsi_device folder names it as well.
  std::error_code error;
  bool addressed = false;
  const fs::path resolved = fs::canonical(device, error);
  if (!error)
    addressed = parseScsiAddress(resolved.filename().string(), node.host, node.channel, node.target,
                                 node.lun);
  if (!addressed) {
    for (fs::directory_iterator it(device / "scsi_device", error), end; !error && it != end;
         it.increment(error)) {
      if (parseScsiAddress(it->path().filename().string(), node.host, node.channel, node.target,
                           node.lun)) {
        addressed = true;
        break;
      }
    }
  }
  if (!addressed) return std::nullopt;

  if (const auto type = parseInt(readAttribute(device / "type"))) node.type = *type;
  node.vendor = readAttribute(device / "vendor");
  node.model = readAttribute(device / "model");
  node.revision = readAttribute(device / "rev");
  return node;
}

std::vector<SgNode> SysfsDiscovery::nodes() const {
  std::vector<SgNode> found;
  std::error_code error;
  for (fs::directory_iterator it(sysRoot_ / "class" / "scsi_generic", error), end;
       !error && it != end; it.increment(error)) {
    if (auto node = readNode(it->path())) found.push_back(std::move(*node));
  }
  std::sort(found.begin(), found.end(),
            [](const SgNode& a, const SgNode& b) { return addressOf(a) < addressOf(b); });
  return found;
}

std::vector<SgNode> SysfsDiscovery::devicesOfHost(int host) const {
  std::vector<SgNode> devices;
  for (SgNode& node : nodes()) {
    if (node.host == host) devices.push_back(std::move(node));
  }
  return devices;
}

bool SysfsDiscovery::hostExists(int host) const {
  std::error_code error;
  return host >= 0 &&
         fs::exists(sysRoot_ / "class" / "scsi_host" / ("host" + std::to_string(host)), error);
}

std::string SysfsDiscovery::hostDriver(int host) const {
  return readAttribute(sysRoot_ / "class" / "scsi_host" / ("host" + std::to_string(host)) /
                       "proc_name");
}

std::optional<int> SysfsDiscovery::firstHostWithTape() const {
  for (const SgNode& node : nodes()) {
    if (node.type == 1) return node.host;
  }
  return std::nullopt;
}

std::optional<SgNode> SysfsDiscovery::nodeForDevice(const std::string& devicePath) const {
  std::error_code error;
  fs::path path = devicePath;
  // Follow a link such as /dev/tape-drive -> sg3; a node that is not there keeps its name.
  const fs::path resolved = fs::canonical(path, error);
  const std::string name = (error ? path : resolved).filename().string();
  if (name.rfind("sg", 0) != 0) return std::nullopt;
  for (SgNode& node : nodes()) {
    if (node.name == name) {
      node.devicePath = devicePath;
      return node;
    }
  }
  return std::nullopt;
}

}  // namespace korv
