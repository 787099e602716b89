#pragma once
// Why a finished command failed, for the callers that must tell the cases apart: a
// device that sent no answer at all, and a write that met the end of the medium. The
// command layer itself treats every failure alike; these read its request block after.

#include "scsi/aspi_request.h"

namespace korv {

// The device sent no answer: the transport gave up on it (a timeout, a lost connection,
// an offline device) rather than the device reporting an error.
bool deviceDidNotAnswer(AspiRequest& request);

// What a failed WRITE or WRITE FILEMARKS says about the end of the medium.
enum class MediumEnd {
  None,          // failed for another reason, or did not fail
  EarlyWarning,  // NO SENSE with EOM: recorded in full; the end of the medium is near
  EndOfMedium,   // VOLUME OVERFLOW, or EOM with an error: not recorded, no room left
};
MediumEnd mediumEndOf(AspiRequest& request);

}  // namespace korv
