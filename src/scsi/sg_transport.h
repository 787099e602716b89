#pragma once
// Linux SCSI generic: the 6-byte commands go to /dev/sgN with SG_IO on a worker thread,
// so submit() returns at once and the waiting command sleeps in its pump.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "scsi/pass_through.h"
#include "scsi/sysfs_discovery.h"
#include "scsi/transport.h"

namespace korv {

// What SG_IO reported for one command.
struct SgCompletion {
  int ioctlError = 0;         // errno of a failed SG_IO (or open), 0 when it ran
  uint8_t scsiStatus = 0;     // the SCSI status byte
  uint16_t hostStatus = 0;    // DID_* of the host adapter driver
  uint16_t driverStatus = 0;  // DRIVER_* of the mid level (SUGGEST_* in the high nibble)
  const uint8_t* sense = nullptr;
  size_t senseLength = 0;  // sb_len_wr
};

// Good exactly when the command ran, the SCSI status is GOOD and neither the host adapter
// nor the mid level reports an error; a check condition of any kind (even NO SENSE with
// FILEMARK, EOM or ILI) fails. Fills SenseArea, SRB_HaStat and SRB_TargStat of `request`
// and returns the status byte to store.
uint8_t finishSgRequest(AspiRequest& request, const SgCompletion& completion);

// Why a command got no answer from the device, in words ("host status DID_NO_CONNECT",
// "SG_IO: No such device"); empty when the device answered, whatever it said.
std::string describeSgFailure(const SgCompletion& completion);

class SgTransport : public ScsiTransport {
 public:
  // `devicesByTarget`: the sg node that answers at each target id; every other id is
  // "no device". `adapter` is the host adapter answer; `addresses` the H:C:T:L of each id.
  SgTransport(std::map<int, std::string> devicesByTarget, HostAdapterInfo adapter,
              std::map<int, std::string> addresses = {});
  ~SgTransport() override;

  uint8_t submit(AspiRequest& request, uint8_t* data, EventPump& pump) override;
  HostAdapterInfo hostAdapter() override;
  std::string deviceAddress(uint8_t target) override;
  std::string failureReason(uint8_t target) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A whole host adapter: its devices at every LUN, in channel:target:lun order, are ids 0, 1,
// 2, ... (an iSCSI target or a library has one SCSI target and many LUNs); its driver is
// named in the adapter answer.
std::unique_ptr<SgTransport> openSgHost(const SysfsDiscovery& sysfs, int host);

// One device node, the only device of its bus: it answers at id 0.
std::unique_ptr<SgTransport> openSgDevice(const SysfsDiscovery& sysfs,
                                          const std::string& devicePath);

}  // namespace korv
