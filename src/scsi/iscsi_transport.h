#pragma once
// iSCSI through libiscsi: the 6-byte commands go to a LUN of one target, and the LUN is
// the target id the program sees. One worker thread owns the session: it connects and
// logs in when a command needs it, polls the socket, and hands each finished command back
// through the pump. A target that cannot be reached, refuses the login or drops the
// session fails the commands concerned; nothing waits without a deadline.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "scsi/pass_through.h"
#include "scsi/transport.h"

namespace korv {

// How one command ended, as the worker saw it.
struct IscsiCompletion {
  enum class Ending {
    Answered,        // the target sent a status; `status` holds it
    ConnectionLost,  // the session broke while the command was out
    NotConnected,    // no session could be made for it (connect or login failed)
    TimedOut,        // its deadline passed
  };
  Ending ending = Ending::Answered;
  int status = 0;  // libiscsi's status: a SCSI status, or its ERROR / CANCELLED codes
  // The response's data segment: on CHECK CONDITION a 2-byte big-endian sense length and
  // the raw sense (libiscsi's own parse drops FILEMARK, EOM and ILI, so the raw bytes are
  // what counts).
  const uint8_t* response = nullptr;
  size_t responseSize = 0;
};

// Good exactly when the target answered with SCSI status GOOD; a check condition of any
// kind fails, and so do transport failures and timeouts. Fills SenseArea, SRB_HaStat and
// SRB_TargStat and returns the status byte to store.
uint8_t finishIscsiRequest(AspiRequest& request, const IscsiCompletion& completion);

// Where the raw sense lies inside a check condition's data segment; length 0 when none.
struct SenseBytes {
  const uint8_t* data = nullptr;
  size_t length = 0;
};
SenseBytes senseOfResponse(const uint8_t* response, size_t size);

// "iscsi://user%pw@host:3260/iqn..." -> "host" (what the host adapter answer names).
std::string iscsiHostOf(const std::string& portalUrl);

class IscsiTransport : public ScsiTransport {
 public:
  // `portalUrl`: iscsi://[user[%password]@]host[:port]/target-iqn. With `onlyLun` >= 0
  // that LUN alone answers (a drive named on the command line); otherwise every LUN the
  // target reports is a target id.
  explicit IscsiTransport(std::string portalUrl, int onlyLun = -1,
                          std::chrono::seconds connectTimeout = std::chrono::seconds(10));
  ~IscsiTransport() override;

  uint8_t submit(AspiRequest& request, uint8_t* data, EventPump& pump) override;
  // Logs in when no session is up (waiting at most the connect timeout): ready means a
  // session to the target exists.
  HostAdapterInfo hostAdapter() override;

  // Why the last connection attempt or session ended, for messages.
  std::string lastError() const;
  std::string failureReason(uint8_t) override { return lastError(); }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace korv
