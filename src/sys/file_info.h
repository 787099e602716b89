#pragma once
// What the listing needs to know about one directory entry, read without following
// symbolic links, and the metadata a restore puts back on a file it wrote.

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

#include "sys/finddata.h"

namespace korv {

enum class FileKind {
  Regular,
  Directory,
  Other,  // symbolic link, FIFO, socket, device: never opened
};

struct FileInfo {
  FileKind kind = FileKind::Other;
  bool isRegularFile() const { return kind == FileKind::Regular; }
  // Attributes, times, size and name as the catalogue entry records them. When the name
  // has no CP932 form, findData.fileName is empty and nameFitsCp932 is false.
  FindData findData;
  bool nameFitsCp932 = true;
  uint32_t packedLastWrite = 0;  // local DOS date (high 16 bits) and time (low 16 bits)
  uint64_t size = 0;
  uint32_t mode = 0;  // st_mode
};

// Reads the entry `path` (its last component is the name). nullopt with `error` set when
// the entry cannot be examined.
std::optional<FileInfo> readFileInfo(const std::string& path, std::error_code& error);

// The same for `name` inside the open folder `dirFd` (for a walk with openat).
std::optional<FileInfo> readFileInfoAt(int dirFd, const std::string& name, std::error_code& error);

// Restore side. Sets the access and last-write times (FILETIME) of an open file; a time of
// 0 means "unknown" and leaves that time as it is. Linux keeps no settable creation time.
bool applyFileTimes(int fd, uint64_t lastAccessTime, uint64_t lastWriteTime,
                    std::error_code& error);

// Read-only attribute: clears the owner write bit (after the data is written).
bool applyReadOnly(int fd, std::error_code& error);

// Makes an existing regular file writable by its owner again (without following a
// symbolic link), as "attributes to archive alone" asks before overwriting it.
bool makeOwnerWritable(const std::string& path, std::error_code& error);

}  // namespace korv
