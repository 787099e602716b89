#include "scsi/image_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korv {
namespace {

// Reads until `n` bytes or the end of the file; -1 on an error.
ssize_t preadFull(int fd, uint8_t* out, size_t n, uint64_t at) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd, out + done, n - done, static_cast<off_t>(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

void ImageBuffer::attach(int fd, uint64_t fileSize) {
  fd_ = fd;
  fileSize_ = fileSize;
  writebackFrom_ = fileSize;
  cachedFrom_ = fileSize;
  pending_.clear();
  windowLength_ = 0;
}

void ImageBuffer::detach() {
  fd_ = -1;
  fileSize_ = 0;
  pending_.clear();
  pending_.shrink_to_fit();
  window_.reset();
  windowLength_ = 0;
}

int ImageBuffer::fill(uint64_t at, size_t want) {
  if (!window_) window_.reset(new uint8_t[kReadAhead]);  // left uninitialised: it is read into
  // Small records read one after the other fill the whole window. When the last window
  // served less than a read per KiB, the reader passes large records (spacing over them
  // needs only their length words; their data goes straight to a reader): filling the
  // whole window would copy the whole tape to find a word per record.
  const bool sparse = windowLength_ > 0 && windowReads_ * 1024 < windowLength_;
  size_t span = sparse ? kWordWindow : kReadAhead;
  // Reading backward (spacing toward the beginning) the window ends at the bytes asked
  // for; reading forward it starts there.
  // The window always holds the bytes asked for, also when they are more than a sparse
  // window: a record read backward must not end up in front of its window.
  span = std::max(span, want);
  uint64_t start = at;
  if (windowLength_ > 0 && at < windowAt_) {
    start = at + want > span ? at + want - span : 0;
  }
  const size_t length = static_cast<size_t>(std::min<uint64_t>(span, fileSize_ - start));
  windowLength_ = 0;
  const ssize_t got = preadFull(fd_, window_.get(), length, start);
  if (got < 0) return errno;
  windowAt_ = start;
  windowLength_ = static_cast<size_t>(got);
  windowReads_ = 0;
  return 0;
}

ssize_t ImageBuffer::read(uint64_t at, uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    const uint64_t p = at + done;
    if (p >= fileSize_) {  // still in the write-behind buffer
      if (p >= size()) break;
      const size_t k = static_cast<size_t>(std::min<uint64_t>(n - done, size() - p));
      std::memcpy(out + done, pending_.data() + (p - fileSize_), k);
      done += k;
      continue;
    }
    const size_t inFile = static_cast<size_t>(std::min<uint64_t>(n - done, fileSize_ - p));
    if (!inWindow(p)) {
      if (inFile >= kDirectRead) {  // a block's data goes straight to the reader: one copy
        const ssize_t got = preadFull(fd_, out + done, inFile, p);
        if (got < 0) return -1;
        done += static_cast<size_t>(got);
        if (static_cast<size_t>(got) < inFile) break;
        continue;
      }
      if (int e = fill(p, inFile)) {
        errno = e;
        return -1;
      }
      if (!inWindow(p)) break;  // the file is shorter than it was
    }
    const size_t k = std::min<size_t>(inFile, windowAt_ + windowLength_ - p);
    std::memcpy(out + done, window_.get() + (p - windowAt_), k);
    ++windowReads_;
    done += k;
  }
  return static_cast<ssize_t>(done);
}

int ImageBuffer::append(const iovec* iov, int count) {
  size_t bytes = 0;
  for (int i = 0; i < count; ++i) bytes += iov[i].iov_len;
  if (bytes >= kDirectWrite && count < kMaxParts) return writeThrough(iov, count);
  const size_t before = pending_.size();
  if (pending_.capacity() == 0) pending_.reserve(kWriteBehind + kDirectWrite);
  for (int i = 0; i < count; ++i) {
    const auto* data = static_cast<const uint8_t*>(iov[i].iov_base);
    pending_.insert(pending_.end(), data, data + iov[i].iov_len);
  }
  if (pending_.size() < kWriteBehind) return 0;
  if (int e = flush()) {
    pending_.resize(before);
    return e;
  }
  return 0;
}

// A large record goes to the file at once, behind what is buffered, in one call: copying
// it into the buffer first would cost more than the call it saves.
int ImageBuffer::writeThrough(const iovec* iov, int count) {
  iovec parts[kMaxParts + 1];
  parts[0] = {pending_.data(), pending_.size()};
  std::copy(iov, iov + count, parts + 1);
  iovec* left = parts;
  int leftCount = count + 1;
  uint64_t at = fileSize_;
  while (leftCount > 0) {
    const ssize_t n = ::pwritev(fd_, left, leftCount, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int e = n < 0 ? errno : EIO;
      while (::ftruncate(fd_, static_cast<off_t>(fileSize_)) != 0 && errno == EINTR) {
      }
      return e;  // the buffered bytes stay buffered, nothing of `iov` is kept
    }
    at += static_cast<uint64_t>(n);
    size_t done = static_cast<size_t>(n);
    while (leftCount > 0 && done >= left->iov_len) {
      done -= left->iov_len;
      ++left;
      --leftCount;
    }
    if (leftCount > 0) {
      left->iov_base = static_cast<uint8_t*>(left->iov_base) + done;
      left->iov_len -= done;
    }
  }
  fileSize_ = at;
  pending_.clear();
  startWriteback();
  return 0;
}

// A streaming drive writes its buffer to the medium as it goes, not all at the filemark:
// the image's written pages are handed to the disk every few MiB (without waiting), so the
// sync at the filemark waits only for the last of them instead of for the whole file.
void ImageBuffer::startWriteback() {
  if (fileSize_ < writebackFrom_ + kWritebackStep) return;
  ::sync_file_range(fd_, static_cast<off_t>(writebackFrom_),
                    static_cast<off_t>(fileSize_ - writebackFrom_), SYNC_FILE_RANGE_WRITE);
  // What went to the disk a step earlier leaves memory, as written data leaves a drive: a
  // backup of a large server does not push the server's own files out of the page cache.
  // Pages still being written are left alone by the kernel.
  if (writebackFrom_ > cachedFrom_) {
    ::posix_fadvise(fd_, static_cast<off_t>(cachedFrom_),
                    static_cast<off_t>(writebackFrom_ - cachedFrom_), POSIX_FADV_DONTNEED);
    cachedFrom_ = writebackFrom_;
  }
  writebackFrom_ = fileSize_;  // a failure here is the filemark's sync to report
}

int ImageBuffer::truncate(uint64_t pos) {
  if (pos >= fileSize_) {
    pending_.resize(static_cast<size_t>(std::min<uint64_t>(pos, size()) - fileSize_));
    return 0;
  }
  while (::ftruncate(fd_, static_cast<off_t>(pos)) != 0) {
    if (errno != EINTR) return errno;
  }
  pending_.clear();
  fileSize_ = pos;
  writebackFrom_ = std::min(writebackFrom_, pos);
  cachedFrom_ = std::min(cachedFrom_, pos);
  if (windowAt_ >= pos) {
    windowLength_ = 0;
  } else {
    windowLength_ = static_cast<size_t>(std::min<uint64_t>(windowLength_, pos - windowAt_));
  }
  return 0;
}

int ImageBuffer::flush() {
  size_t done = 0;
  while (done < pending_.size()) {
    const ssize_t n = ::pwrite(fd_, pending_.data() + done, pending_.size() - done,
                               static_cast<off_t>(fileSize_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int e = n < 0 ? errno : EIO;
      // Whatever landed goes again: the file ends where it ended before this flush.
      while (::ftruncate(fd_, static_cast<off_t>(fileSize_)) != 0 && errno == EINTR) {
      }
      return e;
    }
    done += static_cast<size_t>(n);
  }
  fileSize_ += pending_.size();
  pending_.clear();
  startWriteback();
  return 0;
}

}  // namespace korv
