#pragma once
// One SIMH tape-image file (.tap) as a sequence of entries: records (length word, data,
// a pad byte when the length is odd, the length word again), filemarks (a zero word) and
// erase gaps (skipped). The file is held open with an exclusive lock so that two drives
// (or two programs) never write the same image. Positions are byte offsets at entry
// boundaries. Reads and writes go through a drive-like buffer (image_buffer.h): flush()
// puts what was written into the file, sync() onto the disk; closing flushes.

#include <cstdint>
#include <optional>
#include <string>

#include "scsi/file_index.h"
#include "scsi/image_buffer.h"

namespace korv {

inline constexpr uint32_t kTapFilemark = 0x00000000;
inline constexpr uint32_t kTapEraseGap = 0xFFFFFFFE;
inline constexpr uint32_t kTapEndOfMedium = 0xFFFFFFFF;
inline constexpr uint32_t kTapBadRecord = 0x80000000;
inline constexpr uint32_t kTapLengthMask = 0x00FFFFFF;

// Bytes a record of `length` data bytes takes in the image.
constexpr uint64_t tapRecordSize(uint32_t length) {
  return 8u + length + (length & 1u);
}

// Why an image file cannot serve as a cartridge now, told apart for the user: the
// medium-not-ready question fits none of these (waiting would not help).
enum class ImageProblem {
  None,
  InUse,          // another program (or drive) holds its lock
  IsFolder,       // the path names a folder
  FolderMissing,  // the folder it would live in does not exist
};
ImageProblem diagnoseImage(const std::string& path);

class TapeImage {
 public:
  enum class OpenResult { Opened, Missing, Locked, Failed };

  struct Entry {
    enum class Kind { Record, BadRecord, Filemark, EndOfData, BeginningOfTape, Corrupt, IoError };
    Kind kind = Kind::EndOfData;
    uint64_t start = 0;   // where it begins; for EndOfData where the recorded data ends
    uint64_t end = 0;     // just after it
    uint32_t length = 0;  // data bytes of a record
    uint32_t word = 0;    // its length word, as recorded
  };

  enum class ReadResult { Ok, CutOff, IoError };

  TapeImage() = default;
  ~TapeImage();
  TapeImage(const TapeImage&) = delete;
  TapeImage& operator=(const TapeImage&) = delete;

  // Opens the image read-write (read-only when the file or its folder allows no more) and
  // takes the lock. `create` makes a missing file. On failure the image stays closed and
  // lastError() holds errno.
  OpenResult open(const std::string& path, bool create);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  bool readOnly() const { return readOnly_; }
  uint64_t size() const { return size_; }
  int lastError() const { return error_; }

  // The entry that starts at or after `pos`, erase gaps skipped. A record that the file
  // cuts short, whose trailing length word disagrees (when `checkTrailer`), or a word this
  // format does not define, is the end of recorded data at `pos`. A closed image is blank.
  Entry next(uint64_t pos, bool checkTrailer) const;
  // The entry that ends at `pos`, erase gaps skipped; BeginningOfTape at 0.
  Entry previous(uint64_t pos) const;

  // Reads the first `count` (<= its length) data bytes of `record` into `buffer` and
  // checks the trailing length word.
  ReadResult readRecord(const Entry& record, uint8_t* buffer, uint32_t count);

  // Each returns 0 or an errno. The recorded data first ends at `pos` (the file is cut
  // there when it holds more), then the new entries follow; a write that fails is undone.
  int appendRecord(uint64_t pos, const uint8_t* data, uint32_t length);
  int appendFilemarks(uint64_t pos, uint32_t count);
  int truncate(uint64_t pos);
  int flush();
  int sync();

  // Where the file that `pos` lies in ends, when this image wrote that file whole since it
  // was opened: spacing forward over it may go straight there.
  std::optional<uint64_t> knownFilemarkAfter(uint64_t pos) const {
    return files_.filemarkAfter(pos);
  }

 private:
  enum class WordResult { Ok, Short, IoError };
  WordResult readWord(uint64_t at, uint32_t& word) const;
  int cutTo(uint64_t pos);
  void noteAppendAt(uint64_t pos);

  mutable ImageBuffer buffer_;  // a cache of the file: reading fills it
  FileIndex files_;
  std::optional<uint64_t> openFile_;  // the start of the file being appended, when known
  int fd_ = -1;
  bool readOnly_ = false;
  uint64_t size_ = 0;
  int error_ = 0;
};

}  // namespace korv
