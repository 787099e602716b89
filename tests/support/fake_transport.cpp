#include "support/fake_transport.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace korv::test {

FakeTransport::~FakeTransport() {
  if (worker_.joinable()) worker_.join();
}

std::vector<uint8_t> FakeTransport::cdb(size_t i) const {
  const auto& r = sent.at(i).request;
  return {r.CDBByte, r.CDBByte + 6};
}

uint8_t FakeTransport::submit(AspiRequest& request, uint8_t* data, EventPump& pump) {
  if (worker_.joinable()) worker_.join();
  SentRequest record;
  std::memcpy(&record.request, &request, sizeof request);
  record.hadData = data != nullptr;
  if (data != nullptr && (request.SRB_Flags & SRB_DIR_OUT))
    record.data.assign(data, data + request.SRB_BufLen);
  sent.push_back(std::move(record));

  if (!devices.contains(request.SRB_Target)) {
    setRequestStatus(request, SS_NO_DEVICE);
    return SS_NO_DEVICE;
  }
  switch (completion) {
    case Completion::Inline:
      finish(request, data, pump);
      break;
    case Completion::Threaded:
      worker_ = std::thread([this, &request, data, &pump] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        finish(request, data, pump);
      });
      break;
    case Completion::Manual: {
      std::lock_guard lock(mutex_);
      pendingRequest_ = &request;
      pendingData_ = data;
      pendingPump_ = &pump;
      break;
    }
  }
  return SS_PENDING;
}

bool FakeTransport::completePending() {
  AspiRequest* request;
  {
    std::lock_guard lock(mutex_);
    request = pendingRequest_;
    pendingRequest_ = nullptr;
  }
  if (request == nullptr) return false;
  finish(*request, pendingData_, *pendingPump_);
  return true;
}

void FakeTransport::finish(AspiRequest& request, uint8_t* data, EventPump& pump) {
  const FakeDevice& device = devices.at(request.SRB_Target);
  uint8_t status = SS_COMP;
  if (request.CDBByte[0] == 0x12) {
    if (device.noAnswer) {
      status = SS_ERR;
      request.SRB_HaStat = HASTAT_TIMEOUT;
    } else if (device.inquiryFails) {
      status = SS_ERR;
    } else if (data != nullptr) {
      uint8_t answer[36];
      std::memset(answer, ' ', sizeof answer);
      answer[0] = device.type;
      answer[1] = answer[2] = answer[3] = 0;
      answer[4] = 31;
      answer[5] = answer[6] = answer[7] = 0;
      std::memcpy(answer + 8, device.vendor.data(), std::min<size_t>(8, device.vendor.size()));
      std::memcpy(answer + 16, device.product.data(), std::min<size_t>(16, device.product.size()));
      std::memcpy(answer + 32, device.revision.data(), std::min<size_t>(4, device.revision.size()));
      std::memcpy(data, answer, std::min<size_t>(sizeof answer, request.SRB_BufLen));
    }
  } else {
    FakeOutcome outcome;
    {
      std::lock_guard lock(mutex_);
      if (!outcomes.empty()) {
        outcome = outcomes.front();
        outcomes.pop_front();
      }
    }
    status = outcome.status;
    if (outcome.sense.valid) encodeSense(request.SenseArea, outcome.sense);
    if (status != SS_COMP) request.SRB_TargStat = STATUS_CHKCOND;
  }
  setRequestStatus(request, status);
  pump.wake();
}

}  // namespace korv::test
