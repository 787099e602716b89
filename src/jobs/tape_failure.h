#pragma once
// Why the last tape command failed, in words for the run's log, from the sense data the
// drive returned: the run's own messages say only that a write failed, which leaves the
// user guessing between a full tape (or a full disk under a tape image), a write-protected
// cartridge and a broken one.

#include <string>

#include "tape/sfile.h"

namespace korv::jobs {

// A log line naming the cause of the failed command, or empty when the drive said nothing
// that tells one.
std::string tapeFailureCause(const TScsifile& sf);

}  // namespace korv::jobs
