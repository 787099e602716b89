#pragma once
// The one pass-through interface every bus implements: the emulated drive, Linux sg
// and iSCSI. The command layer above it never knows which one it talks to.

#include <cstdint>
#include <string>

#include "scsi/aspi_request.h"

namespace korv {

// How a face waits for a pending command without spinning. The terminal program blocks
// on a condition; the desktop program runs its event loop. Commands started from inside
// pumpUntilWoken() (a click handler, a test hook) meet the component's Busy state.
class EventPump {
 public:
  virtual ~EventPump() = default;
  // Runs the face's events until wake() has been called since the last return (returns
  // at once if it already was). May return early; callers re-check the status byte.
  virtual void pumpUntilWoken() = 0;
  // Thread-safe: called by a transport when a request completes.
  virtual void wake() = 0;
};

// The adapter's own answer (host adapter inquiry).
struct HostAdapterInfo {
  bool ready = false;      // the bus can be used at all
  uint8_t ownId = 7;       // the adapter's own SCSI id
  std::string managerId;   // at most 16 characters
  std::string identifier;  // at most 16 characters
};

class ScsiTransport {
 public:
  virtual ~ScsiTransport() = default;

  // Starts the 6-byte command of `request` (CDBByte, SRB_Target, SRB_Flags direction,
  // SRB_BufLen) with `data` as its buffer (null when there is no data phase). Returns at
  // once:
  //  - SS_PENDING: accepted. The transport later fills SenseArea, SRB_HaStat and
  //    SRB_TargStat, stores SS_COMP (good status, no transport error) or SS_ERR (anything
  //    else) with setRequestStatus(), then calls pump.wake(). The request and the buffer
  //    belong to the transport until then.
  //  - SS_NO_DEVICE: nothing answers at that target; the status byte is already set.
  virtual uint8_t submit(AspiRequest& request, uint8_t* data, EventPump& pump) = 0;

  // The host adapter inquiry: answered at once, no wait.
  virtual HostAdapterInfo hostAdapter() = 0;

  // The command layer is binding to `target` (OpenDevice). An emulated drive whose
  // cartridge was unloaded loads it again here, as a person would reinsert it.
  virtual void bind(uint8_t target) { (void)target; }

  // Where the device at `target` sits on this machine ("2:0:0:1", the Linux SCSI address),
  // shown beside its scan row; empty when the bus has no such address.
  virtual std::string deviceAddress(uint8_t target) {
    (void)target;
    return {};
  }

  // In words, why the last command at `target` got no answer from the device (a timeout,
  // a lost connection, an offline device); empty when the transport knows no more than
  // the request block says.
  virtual std::string failureReason(uint8_t target) {
    (void)target;
    return {};
  }
};

}  // namespace korv
