#pragma once
// A transport decorator that reports every command when it completes: the terminal's
// --trace prints it, tests collect it to pin command bytes and counts.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scsi/sense.h"
#include "scsi/transport.h"

namespace korv {

struct TraceRecord {
  uint8_t target = 0;
  uint8_t cdb[6]{};
  uint8_t flags = 0;    // SRB_Flags direction bits
  uint32_t length = 0;  // SRB_BufLen
  uint8_t status = 0;   // final SRB_Status (SS_NO_DEVICE when nothing answered)
  SenseInfo sense;
};

// "cdb 08 00 00 01 0C 00 in 268 good" / "... failed sense 8/00/05 EOM" / "... no device"
std::string formatTrace(const TraceRecord& record);

class TracingTransport : public ScsiTransport {
 public:
  using Sink = std::function<void(const TraceRecord&)>;
  TracingTransport(ScsiTransport& inner, Sink sink);
  ~TracingTransport() override;
  uint8_t submit(AspiRequest& request, uint8_t* data, EventPump& pump) override;
  HostAdapterInfo hostAdapter() override { return inner_.hostAdapter(); }
  void bind(uint8_t target) override { inner_.bind(target); }
  std::string deviceAddress(uint8_t target) override { return inner_.deviceAddress(target); }
  std::string failureReason(uint8_t target) override { return inner_.failureReason(target); }

 private:
  class Relay;
  Relay& claimRelay();
  void releaseRelay(Relay& relay);

  ScsiTransport& inner_;
  Sink sink_;
  // One relay per request in flight, reused: normally a single one, a second only while
  // a scan and a command overlap.
  std::mutex relaysMutex_;
  std::vector<std::unique_ptr<Relay>> relays_;
};

}  // namespace korv
