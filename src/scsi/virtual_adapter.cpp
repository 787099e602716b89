#include "scsi/virtual_adapter.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "scsi/pass_through.h"

namespace korv {

namespace {

struct Job {
  AspiRequest* request;
  uint8_t* data;
  EventPump* pump;
  EmulatedDrive* drive;
};

DataDirection directionOf(uint8_t flags) {
  bool in = (flags & SRB_DIR_IN) != 0;
  bool out = (flags & SRB_DIR_OUT) != 0;
  if (in && !out) return DataDirection::In;
  if (out && !in) return DataDirection::Out;
  return DataDirection::None;
}

// Hands the request back to its owner: sense, statuses, then the status byte, then the
// wake-up (the owner may reuse the block as soon as it sees the status).
void finish(const Job& job, const DriveOutcome& outcome, uint8_t status) {
  uint8_t sense[18];
  if (outcome.sense.valid) encodeSense(sense, outcome.sense);
  writeBack(*job.request, {status, HASTAT_OK, outcome.scsiStatus},
            outcome.sense.valid ? sense : nullptr, sizeof sense);
  setRequestStatus(*job.request, status);
  job.pump->wake();
}

}  // namespace

struct VirtualAdapter::Impl {
  std::map<int, std::unique_ptr<EmulatedDrive>> drives;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Job> queue;  // in order of submission; keeps its room, so no allocation
  bool executing = false;  // a command is running on the worker or inline
  bool stopping = false;
  std::thread worker;

  static void execute(const Job& job) {
    AspiRequest& r = *job.request;
    uint32_t length = job.data != nullptr ? r.SRB_BufLen : 0;
    DriveOutcome outcome =
        job.drive->execute(r.CDBByte, directionOf(r.SRB_Flags), job.data, length);
    finish(job, outcome, outcome.good ? SS_COMP : SS_ERR);
  }

  void run() {
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return stopping || (!queue.empty() && !executing); });
      if (stopping) break;
      Job job = queue.front();
      queue.erase(queue.begin());
      // The drive's delay keeps the command pending for real; destruction cuts it short.
      auto delay = job.drive->delay();
      if (delay.count() > 0 && changed.wait_for(lock, delay, [&] { return stopping; })) {
        finish(job, DriveOutcome{}, SS_ABORTED);
        break;
      }
      executing = true;
      lock.unlock();
      execute(job);
      lock.lock();
      executing = false;
    }
    // Whatever is still queued will never run: its owners must not wait forever.
    for (const Job& job : queue) finish(job, DriveOutcome{}, SS_ABORTED);
    queue.clear();
  }
};

VirtualAdapter::VirtualAdapter(const std::map<int, std::string>& imagesById,
                               const std::map<int, uint64_t>& capacitiesById)
    : impl_(std::make_unique<Impl>()) {
  impl_->queue.reserve(8);
  for (const auto& [id, image] : imagesById) {
    if (id < 0 || id > 7 || id == kOwnId) continue;  // not a target on this bus
    auto drive = std::make_unique<EmulatedDrive>(image);
    if (const auto capacity = capacitiesById.find(id); capacity != capacitiesById.end())
      drive->setCapacity(MediumCapacity::ofSize(capacity->second));
    impl_->drives.emplace(id, std::move(drive));
  }
  impl_->worker = std::thread([this] { impl_->run(); });
}

VirtualAdapter::~VirtualAdapter() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->changed.notify_all();
  impl_->worker.join();
}

uint8_t VirtualAdapter::submit(AspiRequest& request, uint8_t* data, EventPump& pump) {
  if (request.SRB_Cmd != SC_EXEC_SCSI_CMD) {
    setRequestStatus(request, SS_INVALID_CMD);
    return SS_INVALID_CMD;
  }
  if (request.SRB_HaId != 0) {
    setRequestStatus(request, SS_INVALID_HA);
    return SS_INVALID_HA;
  }
  EmulatedDrive* target = request.SRB_Lun == 0 ? drive(request.SRB_Target) : nullptr;
  if (target == nullptr) {
    setRequestStatus(request, SS_NO_DEVICE);
    return SS_NO_DEVICE;
  }
  setRequestStatus(request, SS_PENDING);
  const Job job{&request, data, &pump, target};
  std::unique_lock lock(impl_->mutex);
  // Without a delay and with nothing ahead of it, the command runs right here: handing
  // each 64 KiB block to another thread costs a cross-processor wake-up per command,
  // which is most of the time a backup spends. The caller still sees a pending command
  // completed through its pump, as with any transport.
  if (!impl_->stopping && impl_->queue.empty() && !impl_->executing &&
      target->delay().count() == 0) {
    impl_->executing = true;
    lock.unlock();
    Impl::execute(job);
    lock.lock();
    impl_->executing = false;
    // Wake the worker only for a command queued meanwhile: waking it for nothing costs
    // the very cross-processor switch this path avoids.
    const bool queued = !impl_->queue.empty();
    lock.unlock();
    if (queued) impl_->changed.notify_all();
    return SS_PENDING;
  }
  impl_->queue.push_back(job);
  lock.unlock();
  impl_->changed.notify_all();
  return SS_PENDING;
}

HostAdapterInfo VirtualAdapter::hostAdapter() {
  HostAdapterInfo info;
  info.ready = true;
  info.ownId = kOwnId;
  info.managerId = "KORVESSIAN";
  info.identifier = "Virtual Bus";
  return info;
}

void VirtualAdapter::bind(uint8_t target) {
  if (EmulatedDrive* d = drive(target)) d->load();
}

EmulatedDrive* VirtualAdapter::drive(int id) {
  auto it = impl_->drives.find(id);
  return it == impl_->drives.end() ? nullptr : it->second.get();
}

}  // namespace korv
