#include "scsi/sg_transport.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>

namespace korv {

namespace {

// Host adapter driver codes (DID_*) and mid-level codes (DRIVER_*) of the Linux SCSI layer.
constexpr uint16_t kDidOk = 0x00;
constexpr uint16_t kDidNoConnect = 0x01;
constexpr uint16_t kDidTimeOut = 0x03;
constexpr uint16_t kDidBadTarget = 0x04;
constexpr uint16_t kDidAbort = 0x05;
constexpr uint16_t kDriverMask = 0x0F;
constexpr uint16_t kDriverTimeout = 0x06;
constexpr uint16_t kDriverSense = 0x08;  // only says that sense data came back

uint8_t hostAdapterStatus(const SgCompletion& c) {
  if (c.ioctlError == ENODEV || c.ioctlError == ENXIO || c.ioctlError == ENOENT)
    return HASTAT_SEL_TO;
  if (c.ioctlError != 0) return HASTAT_BUS_FREE;
  switch (c.hostStatus) {
    case kDidOk:
      break;
    case kDidNoConnect:
    case kDidBadTarget:
      return HASTAT_SEL_TO;
    case kDidTimeOut:
    case kDidAbort:
      return HASTAT_TIMEOUT;
    default:
      return HASTAT_BUS_FREE;
  }
  const uint16_t driver = c.driverStatus & kDriverMask;
  if (driver == kDriverTimeout) return HASTAT_TIMEOUT;
  if (driver != 0 && driver != kDriverSense) return HASTAT_BUS_FREE;
  return HASTAT_OK;
}

struct Job {
  AspiRequest* request;
  uint8_t* data;
  EventPump* pump;
  const std::string* device;
};

}  // namespace

std::string describeSgFailure(const SgCompletion& c) {
  if (c.ioctlError != 0) return std::string("SG_IO: ") + std::strerror(c.ioctlError);
  // The Linux SCSI layer's host byte names, as its logs print them.
  static constexpr const char* kHostNames[] = {
      "DID_OK",
      "DID_NO_CONNECT",
      "DID_BUS_BUSY",
      "DID_TIME_OUT",
      "DID_BAD_TARGET",
      "DID_ABORT",
      "DID_PARITY",
      "DID_ERROR",
      "DID_RESET",
      "DID_BAD_INTR",
      "DID_PASSTHROUGH",
      "DID_SOFT_ERROR",
      "DID_IMM_RETRY",
      "DID_REQUEUE",
      "DID_TRANSPORT_DISRUPTED",
      "DID_TRANSPORT_FAILFAST",
      "DID_TARGET_FAILURE",
      "DID_NEXUS_FAILURE",
  };
  if (c.hostStatus != kDidOk) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", c.hostStatus);
    const std::string name =
        c.hostStatus < std::size(kHostNames) ? kHostNames[c.hostStatus] : "unknown";
    return "host status " + name + " (" + code + ")";
  }
  const uint16_t driver = c.driverStatus & kDriverMask;
  if (driver == kDriverTimeout) return "timed out";
  if (driver != 0 && driver != kDriverSense) return "driver status " + std::to_string(driver);
  return {};
}

uint8_t finishSgRequest(AspiRequest& request, const SgCompletion& completion) {
  CommandOutcome outcome;
  outcome.haStat = hostAdapterStatus(completion);
  outcome.targStat = completion.ioctlError == 0 ? completion.scsiStatus : STATUS_GOOD;
  const bool good = outcome.haStat == HASTAT_OK && completion.scsiStatus == STATUS_GOOD;
  outcome.status = good ? SS_COMP : SS_ERR;
  writeBack(request, outcome, completion.ioctlError == 0 ? completion.sense : nullptr,
            completion.senseLength);
  return outcome.status;
}

struct SgTransport::Impl {
  std::map<int, std::string> devices;
  std::map<int, std::string> addresses;
  HostAdapterInfo adapter;
  std::map<int, std::string> failures;  // by target, under the mutex

  std::mutex mutex;
  std::condition_variable queued;
  std::deque<Job> jobs;
  bool stopping = false;
  std::thread worker;

  std::map<std::string, int> openFiles;  // the worker's alone

  int fileFor(const std::string& device, int& error) {
    auto found = openFiles.find(device);
    if (found != openFiles.end()) return found->second;
    // Non-blocking open: a node held exclusively elsewhere fails instead of waiting.
    // SG_IO itself still waits for the command.
    const int fd = ::open(device.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      error = errno;
      return -1;
    }
    openFiles.emplace(device, fd);
    return fd;
  }

  void execute(const Job& job) {
    AspiRequest& request = *job.request;
    SgCompletion completion;
    uint8_t sense[kSenseAllocation]{};
    const int fd = fileFor(*job.device, completion.ioctlError);
    if (fd >= 0) {
      uint8_t cdb[6];
      std::memcpy(cdb, request.CDBByte, sizeof cdb);
      sg_io_hdr_t io{};
      io.interface_id = 'S';
      io.cmd_len = sizeof cdb;
      io.cmdp = cdb;
      io.mx_sb_len = sizeof sense;
      io.sbp = sense;
      io.timeout = static_cast<unsigned>(commandTimeoutSeconds(cdb[0])) * 1000u;
      io.dxfer_direction = SG_DXFER_NONE;
      if (job.data != nullptr && request.SRB_BufLen > 0) {
        if (request.SRB_Flags & SRB_DIR_IN) io.dxfer_direction = SG_DXFER_FROM_DEV;
        if (request.SRB_Flags & SRB_DIR_OUT) io.dxfer_direction = SG_DXFER_TO_DEV;
        if (io.dxfer_direction != SG_DXFER_NONE) {
          io.dxfer_len = request.SRB_BufLen;
          io.dxferp = job.data;
        }
      }
      int result;
      do {
        result = ::ioctl(fd, SG_IO, &io);
      } while (result < 0 && errno == EINTR);
      if (result < 0) {
        completion.ioctlError = errno;
      } else {
        completion.scsiStatus = io.status;
        completion.hostStatus = io.host_status;
        completion.driverStatus = io.driver_status;
        completion.sense = sense;
        completion.senseLength = io.sb_len_wr;
      }
    }
    const uint8_t status = finishSgRequest(request, completion);
    {
      std::lock_guard lock(mutex);
      failures[request.SRB_Target] = describeSgFailure(completion);
    }
    EventPump& pump = *job.pump;
    setRequestStatus(request, status);
    pump.wake();
  }

  void run() {
    std::unique_lock lock(mutex);
    for (;;) {
      queued.wait(lock, [this] { return stopping || !jobs.empty(); });
      if (jobs.empty()) return;  // stopping, and nothing left to answer
      const Job job = jobs.front();
      jobs.pop_front();
      lock.unlock();
      execute(job);
      lock.lock();
    }
  }
};

SgTransport::SgTransport(std::map<int, std::string> devicesByTarget, HostAdapterInfo adapter,
                         std::map<int, std::string> addresses)
    : impl_(std::make_unique<Impl>()) {
  impl_->devices = std::move(devicesByTarget);
  impl_->addresses = std::move(addresses);
  impl_->adapter = std::move(adapter);
  impl_->worker = std::thread([this] { impl_->run(); });
}

SgTransport::~SgTransport() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->queued.notify_all();
  impl_->worker.join();
  for (const auto& [device, fd] : impl_->openFiles) ::close(fd);
}

uint8_t SgTransport::submit(AspiRequest& request, uint8_t* data, EventPump& pump) {
  const auto device = impl_->devices.find(request.SRB_Target);
  if (device == impl_->devices.end()) {
    setRequestStatus(request, SS_NO_DEVICE);
    return SS_NO_DEVICE;
  }
  setRequestStatus(request, SS_PENDING);
  {
    std::lock_guard lock(impl_->mutex);
    impl_->jobs.push_back({&request, data, &pump, &device->second});
  }
  impl_->queued.notify_one();
  return SS_PENDING;
}

HostAdapterInfo SgTransport::hostAdapter() {
  return impl_->adapter;
}

std::string SgTransport::deviceAddress(uint8_t target) {
  const auto found = impl_->addresses.find(target);
  return found == impl_->addresses.end() ? std::string() : found->second;
}

std::string SgTransport::failureReason(uint8_t target) {
  std::lock_guard lock(impl_->mutex);
  const auto failure = impl_->failures.find(target);
  if (failure == impl_->failures.end() || failure->second.empty()) return {};
  return impl_->devices[target] + ": " + failure->second;
}

namespace {

bool canOpen(const std::string& device) {
  return ::access(device.c_str(), R_OK | W_OK) == 0;
}

// Ready when the host is there and its devices can be opened: a drive that needs other
// permissions makes the bus unusable (and says so) rather than a row of failed INQUIRYs.
HostAdapterInfo adapterAnswer(const SysfsDiscovery& sysfs, int host,
                              const std::map<int, std::string>& devices) {
  HostAdapterInfo info;
  info.ready = sysfs.hostExists(host) &&
               (devices.empty() || std::any_of(devices.begin(), devices.end(),
                                               [](const auto& d) { return canOpen(d.second); }));
  std::set<int> occupied;
  for (const auto& [target, device] : devices) occupied.insert(target);
  info.ownId = chooseOwnId(occupied);
  info.managerId = "Linux sg";
  info.identifier = sysfs.hostDriver(host).substr(0, 16);
  return info;
}

}  // namespace

std::unique_ptr<SgTransport> openSgHost(const SysfsDiscovery& sysfs, int host) {
  std::map<int, std::string> devices;
  std::map<int, std::string> addresses;
  int id = 0;
  for (const SgNode& node : sysfs.devicesOfHost(host)) {
    devices.emplace(id, node.devicePath);
    addresses.emplace(id, scsiAddressText(node));
    ++id;
  }
  HostAdapterInfo info = adapterAnswer(sysfs, host, devices);
  return std::make_unique<SgTransport>(std::move(devices), std::move(info), std::move(addresses));
}

std::unique_ptr<SgTransport> openSgDevice(const SysfsDiscovery& sysfs,
                                          const std::string& devicePath) {
  const auto node = sysfs.nodeForDevice(devicePath);
  std::map<int, std::string> devices{{0, devicePath}};
  std::map<int, std::string> addresses;
  HostAdapterInfo info;
  if (node) {
    info = adapterAnswer(sysfs, node->host, devices);
    addresses.emplace(0, scsiAddressText(*node));
  } else {
    // Not in sysfs (another naming, a container): usable when the node can be opened.
    info.ready = canOpen(devicePath);
    info.ownId = chooseOwnId({0});
    info.managerId = "Linux sg";
  }
  return std::make_unique<SgTransport>(std::move(devices), std::move(info), std::move(addresses));
}

}  // namespace korv
