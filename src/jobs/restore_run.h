#pragma once
// The restore run: reads the file streams of the open set in catalogue order, writes the
// selected files below the destination folder with their recorded times and read-only
// bit, reads the others through, and rewinds. It relies on the set having been opened
// (the tape at the set's first file stream).

#include "jobs/run_interfaces.h"
#include "tape/sfile.h"

namespace korv::jobs {

// On Finished the set is closed; the face clears its file list.
RunResult restoreRun(TScsifile& sf, Selection& selection, DestinationSource& destination,
                     RunFaces& faces);

}  // namespace korv::jobs
