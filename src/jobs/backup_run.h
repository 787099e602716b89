#pragma once
// The backup run: appends a new set holding the selected files of a listing to the tape,
// one file stream per catalogue entry, ends it with its filemark, closes the set and
// rewinds. Files that cannot be stored get a skip header and a log line.

#include <string>

#include "jobs/dirsearch.h"
#include "jobs/run_interfaces.h"
#include "tape/sfile.h"

namespace korv::jobs {

// `setName` is the name as typed (UTF-8); it goes to tape in CP932. `leftOut` is what the
// listing passed over (symbolic links, FIFOs, sockets, devices): one log line each once
// the log is cleared, before the files. Those lines do not count as skipped files.
RunResult backupRun(TScsifile& sf, const FileList& filelist, Selection& selection,
                    const std::string& setName, RunFaces& faces, const LeftOutList& leftOut = {});

}  // namespace korv::jobs
