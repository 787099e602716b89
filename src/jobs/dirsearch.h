#pragma once
// The source listing of a backup: every regular file below a folder, in the order the
// directory returns them, subfolders depth-first where they occur. Symbolic links, FIFOs,
// sockets and devices are never opened (a FIFO would hang the run, a linked folder can
// loop). Each file becomes a catalogue entry with its packed time, size, attributes and
// find-data record; its path on tape is the absolute path in CP932.

#include <cstdint>
#include <deque>
#include <memory>
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

// One listed file, held lean: a listing of a large server holds hundreds of thousands of
// them. The catalogue entry (with its 320-byte find-data record) is made from it only when
// a run needs it, so a backup holds each entry once, in the set's catalogue.
struct ListedFile {
  // The path as listed (UTF-8): its folder (with the trailing '/', shared by the files of
  // that folder) and its own name.
  std::shared_ptr<const std::string> folder;
  std::string fileName;
  uint64_t size = 0;  // the whole size at listing time
  uint64_t creationTime = 0, lastAccessTime = 0, lastWriteTime = 0;  // FILETIME
  uint32_t packedLastWrite = 0;
  uint32_t attributes = 0;
  ListingProblem problem = ListingProblem::None;
  // What few files need: a name on tape that differs from the path in bytes (CP932
  // beyond ASCII, or a cut or unwritable path), a link's target the user named.
  struct Unusual {
    std::string cp932Name;
    std::string target;
  };
  std::shared_ptr<const Unusual> unusual;

  // The path, shown in the log and the progress.
  std::string path() const { return *folder + fileName; }
  // The name on tape (CP932).
  std::string name() const {
    return unusual && !unusual->cp932Name.empty() ? unusual->cp932Name : path();
  }
  // What the backup opens: the path, or the target of the link the user named.
  std::string openPath() const {
    return unusual && !unusual->target.empty() ? unusual->target : path();
  }
  // The size field of its entry: the low 32 bits, as a signed value.
  int32_t entrySize() const { return static_cast<int32_t>(static_cast<uint32_t>(size)); }
  // Its catalogue entry: name, packed time, size, attributes and find-data record.
  sf_file2 entry() const;
};

// A deque: it grows without copying what it holds, so a long listing never needs room for
// itself twice.
using FileList = std::deque<ListedFile>;

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

// The listed file `name` in `folder` (UTF-8 as the file system has it) described by the
// find data given; decides the entry's problem. Shared by both listings.
ListedFile makeListedFile(std::shared_ptr<const std::string> folder, const std::string& name,
                          uint64_t size, uint32_t packedLastWrite, const FindData& findData,
                          bool nameFitsCp932);

// CP932 of `utf8` with '?' for every character (or stray byte) CP932 cannot hold: the
// name a skipped entry carries so the catalogue still shows something readable.
std::string lossyCp932(const std::string& utf8);

// The log line a skipped listing entry gets (the path followed by the reason).
std::string listingProblemLine(const std::string& path, ListingProblem problem);

}  // namespace korv::jobs
