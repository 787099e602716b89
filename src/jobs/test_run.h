#pragma once
// The test run: reads the file streams of the open set as the restore does, up to the last
// selected file, each record with exactly the length the catalogue gives, and writes
// nothing. The set stays open and the file list as it is.

#include "jobs/run_interfaces.h"
#include "tape/sfile.h"

namespace korv::jobs {

RunResult testRun(TScsifile& sf, Selection& selection, RunFaces& faces);

}  // namespace korv::jobs
