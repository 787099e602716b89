#pragma once
// A scripted bus for byte-level tests: it records every request block as submitted,
// answers INQUIRY from a table of devices, and completes other commands with scripted
// statuses, either inside submit(), from a thread of its own, or when the test says so.

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scsi/sense.h"
#include "scsi/transport.h"

namespace korv::test {

struct FakeDevice {
  uint8_t type = 1;  // peripheral device type (byte 0)
  std::string vendor = "FAKEVEND";
  std::string product = "Fake Tape Drive ";
  std::string revision = "0001";
  bool inquiryFails = false;  // INQUIRY completes with an error and transfers nothing
  bool noAnswer = false;      // INQUIRY gets no answer: the transport gives up on it
};

struct FakeOutcome {
  uint8_t status = SS_COMP;
  SenseInfo sense;  // written into the sense area when valid
};

struct SentRequest {
  AspiRequest request;        // the block as it was submitted
  bool hadData = false;       // a data buffer travelled with it
  std::vector<uint8_t> data;  // data out, as it was at submission
};

class FakeTransport : public ScsiTransport {
 public:
  enum class Completion {
    Inline,    // completed inside submit()
    Threaded,  // completed by a thread after `delayMs`
    Manual,    // completed by completePending()
  };

  FakeTransport() = default;
  ~FakeTransport() override;

  uint8_t submit(AspiRequest& request, uint8_t* data, EventPump& pump) override;
  HostAdapterInfo hostAdapter() override { return adapter; }
  void bind(uint8_t target) override { bound.push_back(target); }
  std::string failureReason(uint8_t) override { return failure; }

  // Manual mode: completes the request waiting in the fake; false when there is none.
  bool completePending();

  // Set up by the test.
  Completion completion = Completion::Inline;
  int delayMs = 1;
  std::map<int, FakeDevice> devices;  // targets that answer; others give "no device"
  std::deque<FakeOutcome> outcomes;   // per command other than INQUIRY; good when empty
  HostAdapterInfo adapter{true, 7, "FAKE MANAGER", "FAKE ADAPTER"};
  std::string failure;  // the transport's reason for a device that does not answer

  // Observed.
  std::vector<SentRequest> sent;
  std::vector<uint8_t> bound;

  // CDB bytes 0..5 of request i.
  std::vector<uint8_t> cdb(size_t i) const;

 private:
  void finish(AspiRequest& request, uint8_t* data, EventPump& pump);

  std::mutex mutex_;
  std::thread worker_;
  AspiRequest* pendingRequest_ = nullptr;
  uint8_t* pendingData_ = nullptr;
  EventPump* pendingPump_ = nullptr;
};

}  // namespace korv::test
