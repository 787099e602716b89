#pragma once
// The bytes of a tape-image file as a drive's memory holds them: records written collect in
// a write-behind buffer and reach the file in large writes (when it fills, and whenever the
// holder flushes: at a filemark, a rewind, a space, an unload), and reads are served from a
// large read-ahead window instead of a system call per length word. What the file holds
// after a flush is exactly what unbuffered writes would have left; what a crash loses is
// what a drive's buffer loses: the records since the last flush. What reaches the file is
// handed on to the disk every few MiB, as a streaming drive writes while it takes data, so
// a sync at a filemark does not wait for the whole data file, and then leaves the page
// cache, as written data leaves a drive.

#include <sys/types.h>
#include <sys/uio.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace korv {

class ImageBuffer {
 public:
  // Sizes a drive of this class buffers; small next to the memory of a listing.
  static constexpr size_t kWriteBehind = size_t{2} << 20;
  static constexpr size_t kReadAhead = size_t{2} << 20;
  // Reads this large that the window does not hold go straight to the reader.
  static constexpr size_t kDirectRead = size_t{32} << 10;
  // Records this large are written straight through, behind what is buffered.
  static constexpr size_t kDirectWrite = size_t{32} << 10;
  // What a window holds after one of which little was used.
  static constexpr size_t kWordWindow = size_t{4} << 10;

  void attach(int fd, uint64_t fileSize);
  void detach();  // forgets the file; anything not flushed is gone

  // The image's size, buffered bytes included.
  uint64_t size() const { return fileSize_ + pending_.size(); }

  // Reads up to `n` bytes at `at` into `out`: the bytes read (fewer at the end of the
  // image), or -1 with errno set.
  ssize_t read(uint64_t at, uint8_t* out, size_t n);
  // Appends the bytes of `iov` at the end. 0, or an errno when the flush this needed
  // failed; then nothing of `iov` is kept and the buffered bytes before it stay buffered.
  int append(const iovec* iov, int count);
  // The image ends at `pos` (at most size()). 0 or an errno.
  int truncate(uint64_t pos);
  // Writes the buffered bytes to the file. 0 or an errno; a failed flush leaves the file
  // as it was before it and keeps the bytes buffered.
  int flush();

 private:
  bool inWindow(uint64_t at) const { return at >= windowAt_ && at < windowAt_ + windowLength_; }
  int fill(uint64_t at, size_t want);
  int writeThrough(const iovec* iov, int count);
  void startWriteback();
  static constexpr uint64_t kWritebackStep = uint64_t{8} << 20;  // bytes between hand-overs
  static constexpr int kMaxParts = 4;

  int fd_ = -1;
  uint64_t fileSize_ = 0;       // bytes in the file itself
  uint64_t writebackFrom_ = 0;  // the file's bytes from here on are not handed to the disk yet
  uint64_t cachedFrom_ = 0;     // the file's bytes from here on may still be in the page cache
  std::vector<uint8_t> pending_;
  std::unique_ptr<uint8_t[]> window_;  // allocated on the first read
  uint64_t windowAt_ = 0;
  size_t windowLength_ = 0;
  size_t windowReads_ = 0;  // reads the window served since it was filled
};

}  // namespace korv
