#pragma once
// The source listing of a backup: every regular file below a folder, in the order the
// directory returns them, subfolders depth-first where they occur. Symbolic links, FIFOs,
// sockets and devices are never opened (a FIFO would hang the run, a linked folder can
// loop). Each file becomes a catalogue entry with its packed time, size, attributes and
// find-data record; its path on tape is the absolute path in CP932.

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "tape/sf_file2.h"

namespace korv::jobs {

// Why a listed file cannot be stored; the backup writes its skip header and logs this.
enum class ListingProblem {
  None,
  PathTooLong,   // the CP932 path does not fit the 256-byte field with its zero byte
  NameNotCp932,  // the path has characters CP932 cannot hold (or is not UTF-8)
  TooLarge,      // 2 GiB or more: the format's sizes are signed 32-bit
};

struct ListedFile {
  sf_file2 entry;        // as it goes into the catalogue
  std::string path;      // the path as listed (UTF-8), shown in the log and the progress
  std::string openPath;  // what the backup opens: the path, or the target the user's link names
  uint64_t size = 0;     // the whole size at listing time
  ListingProblem problem = ListingProblem::None;
};

using FileList = std::vector<ListedFile>;

// An entry below a listed folder that the listing passed over without opening it. The
// listing collects them; the backup run puts one log line for each into the log when it
// starts (a face keeps the list from its listing and hands it to `backupRun`), so the
// user learns at backup time, not at restore time, what the set does not hold.
struct LeftOutEntry {
  enum class Kind { SymbolicLink, Fifo, Socket, Device };
  std::string path;  // UTF-8, as listed
  Kind kind = Kind::SymbolicLink;
};

using LeftOutList = std::vector<LeftOutEntry>;

// The log line of a left-out entry (the path followed by why it is not backed up).
std::string leftOutLine(const LeftOutEntry& entry);

// Appends every regular file below `folder` (a path ending with '/'; the folder itself may
// be reached through a symbolic link, nothing below it is). Folders that cannot be
// searched add nothing; their paths are appended to `unsearchable` when given. Symbolic
// links, FIFOs, sockets and devices are appended to `leftOut` when given.
void dirsearch(const std::string& folder, FileList& filelist,
               std::vector<std::string>* unsearchable = nullptr, LeftOutList* leftOut = nullptr);

// Appends the regular file `path` itself (symbolic links to one are followed, since the
// user named it). False with `error` set when it is no regular file or cannot be examined.
bool listFile(const std::string& path, FileList& filelist, std::error_code& error);

// The catalogue entry for a file at `path` (UTF-8 as the file system has it) described by
// the find data given; decides the entry's problem. Shared by both listings.
ListedFile makeListedFile(const std::string& path, uint64_t size, uint32_t packedLastWrite,
                          const FindData& findData, bool nameFitsCp932);

// CP932 of `utf8` with '?' for every character (or stray byte) CP932 cannot hold: the
// name a skipped entry carries so the catalogue still shows something readable.
std::string lossyCp932(const std::string& utf8);

// The log line a skipped listing entry gets (the path followed by the reason).
std::string listingProblemLine(const std::string& path, ListingProblem problem);

}  // namespace korv::jobs
