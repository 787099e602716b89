#pragma once
// What the transports share: how a finished command is written back into its request
// block (every transport), and for real drives (Linux sg, iSCSI) how long each command may
// take and which SCSI id the adapter claims for itself.

#include <cstddef>
#include <cstdint>
#include <set>

#include "scsi/aspi_request.h"

namespace korv {

// Host adapter status values beyond the ones every transport reports.
inline constexpr uint8_t HASTAT_SEL_TO = 0x11;  // nothing answered at the target

// How long a command may run before it counts as failed. Tape motion (rewind, space,
// erase, load/unload) can take hours on a long cartridge, as the Linux st driver allows;
// a block or filemark takes minutes at most; INQUIRY and TEST UNIT READY seconds.
int commandTimeoutSeconds(uint8_t operationCode);

// The result of one command, ready for the request block.
struct CommandOutcome {
  uint8_t status = SS_ERR;  // SS_COMP or SS_ERR
  uint8_t haStat = HASTAT_OK;
  uint8_t targStat = STATUS_GOOD;
};

// Copies up to the request's sense allocation into SenseArea (the rest zeroed) and the
// two status fields. The status byte itself is stored by the caller, last.
void writeBack(AspiRequest& request, const CommandOutcome& outcome, const uint8_t* sense,
               size_t senseLength);

// The SCSI id the adapter answers with: 7 as on a parallel bus, unless a device already
// uses it (SAS and iSCSI have no initiator id on the bus); then the highest free id
// below, so the host adapter row never hides a drive. With ids 0..7 all taken (a host
// with many LUNs) it is 8: the adapter then has no row of its own.
uint8_t chooseOwnId(const std::set<int>& occupiedIds);

}  // namespace korv
