// The tracer hands the inner transport a private copy of the request block. The caller's
// block only turns complete after the record has reached the sink, so a command that
// returns has always been reported: a waiter that looks at the status byte without
// having been woken cannot race ahead of its own trace line.

#include "scsi/trace.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace korv {

std::string formatTrace(const TraceRecord& record) {
  std::string line = "cdb";
  char hex[4];
  for (uint8_t byte : record.cdb) {
    std::snprintf(hex, sizeof hex, " %02X", byte);
    line += hex;
  }
  const char* direction = (record.flags & SRB_DIR_IN)    ? "in"
                          : (record.flags & SRB_DIR_OUT) ? "out"
                                                         : "none";
  line += ' ';
  line += direction;
  line += ' ';
  line += std::to_string(record.length);
  if (record.status == SS_COMP) {
    line += " good";
  } else if (record.status == SS_NO_DEVICE) {
    line += " no device";
  } else {
    line += " failed";
    if (record.sense.valid) line += " " + describeSense(record.sense);
  }
  return line;
}

class TracingTransport::Relay : public EventPump {
 public:
  explicit Relay(TracingTransport& owner) : owner_(owner) {}

  // Takes over one request: the inner transport works on `shadow` from here on.
  void start(AspiRequest& request, EventPump& pump) {
    outer_ = &request;
    pump_ = &pump;
    std::memcpy(&shadow, &request, sizeof shadow);
    shadow.SRB_Status = SS_PENDING;
  }

  void pumpUntilWoken() override { pump_->pumpUntilWoken(); }

  // Called by the inner transport (often on its own thread) once `shadow` is final.
  void wake() override { finish(requestStatus(shadow), true); }

  // Reports the request, hands the result to the caller's block and wakes the caller.
  void finish(uint8_t status, bool wakeCaller) {
    AspiRequest& outer = *outer_;
    EventPump& pump = *pump_;

    TraceRecord record;
    record.target = shadow.SRB_Target;
    std::memcpy(record.cdb, shadow.CDBByte, sizeof record.cdb);
    record.flags = shadow.SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT);
    record.length = shadow.SRB_BufLen;
    record.status = status;
    if (status != SS_COMP && status != SS_NO_DEVICE)
      record.sense = decodeSense(shadow.SenseArea, sizeof shadow.SenseArea);

    // Everything but the status byte, which the caller may be reading right now.
    auto* to = reinterpret_cast<uint8_t*>(&outer);
    const auto* from = reinterpret_cast<const uint8_t*>(&shadow);
    constexpr size_t statusAt = offsetof(AspiRequest, SRB_Status);
    std::memcpy(to, from, statusAt);
    std::memcpy(to + statusAt + 1, from + statusAt + 1, sizeof(AspiRequest) - statusAt - 1);

    if (owner_.sink_) {
      try {
        owner_.sink_(record);
      } catch (...) {
        // A report that cannot be written must not lose the command's result.
      }
    }
    // From here on this relay may serve the next request; only locals are used.
    owner_.releaseRelay(*this);
    setRequestStatus(outer, status);
    if (wakeCaller) pump.wake();
  }

  AspiRequest shadow{};
  bool inUse = false;

 private:
  TracingTransport& owner_;
  AspiRequest* outer_ = nullptr;
  EventPump* pump_ = nullptr;
};

TracingTransport::TracingTransport(ScsiTransport& inner, Sink sink)
    : inner_(inner), sink_(std::move(sink)) {}

TracingTransport::~TracingTransport() = default;

TracingTransport::Relay& TracingTransport::claimRelay() {
  std::lock_guard lock(relaysMutex_);
  for (auto& relay : relays_) {
    if (!relay->inUse) {
      relay->inUse = true;
      return *relay;
    }
  }
  relays_.push_back(std::make_unique<Relay>(*this));
  relays_.back()->inUse = true;
  return *relays_.back();
}

void TracingTransport::releaseRelay(Relay& relay) {
  std::lock_guard lock(relaysMutex_);
  relay.inUse = false;
}

uint8_t TracingTransport::submit(AspiRequest& request, uint8_t* data, EventPump& pump) {
  Relay& relay = claimRelay();
  relay.start(request, pump);
  const uint8_t answer = inner_.submit(relay.shadow, data, relay);
  if (answer != SS_PENDING) {
    // Answered at submission ("no device"): no wake will follow.
    uint8_t status = requestStatus(relay.shadow);
    if (status == SS_PENDING) status = answer;
    relay.finish(status, false);
  }
  return answer;
}

}  // namespace korv
