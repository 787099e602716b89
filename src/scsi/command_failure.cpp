#include "scsi/command_failure.h"

#include "scsi/sense.h"

namespace korv {

bool deviceDidNotAnswer(AspiRequest& request) {
  const uint8_t status = requestStatus(request);
  return status != SS_COMP && status != SS_PENDING && status != SS_NO_DEVICE &&
         request.SRB_HaStat != HASTAT_OK;
}

MediumEnd mediumEndOf(AspiRequest& request) {
  if (requestStatus(request) != SS_ERR || request.SRB_HaStat != HASTAT_OK ||
      request.SRB_TargStat != STATUS_CHKCOND)
    return MediumEnd::None;
  const SenseInfo sense = decodeSense(request.SenseArea, kSenseAllocation);
  if (!sense.valid) return MediumEnd::None;
  if (sense.key == SENSE_VOLUME_OVERFLOW) return MediumEnd::EndOfMedium;
  if (!sense.eom) return MediumEnd::None;
  if (sense.key != SENSE_NO_SENSE) {
    // END-OF-PARTITION/MEDIUM DETECTED with an error key: the block did not go on tape.
    return sense.asc == 0x00 && sense.ascq == 0x02 ? MediumEnd::EndOfMedium : MediumEnd::None;
  }
  // A residue means part of the block was not written: that is no warning but a cut block.
  if (sense.ili || sense.filemark || (sense.informationValid && sense.information != 0))
    return MediumEnd::EndOfMedium;
  return MediumEnd::EarlyWarning;
}

}  // namespace korv
