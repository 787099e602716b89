#include "scsi/tape_image.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sys/byte_order.h"

namespace korv {

namespace {

// A length word of a record this format defines: bits 30..24 are clear.
bool isRecordWord(uint32_t word) {
  return (word & ~(kTapBadRecord | kTapLengthMask)) == 0;
}

// Drops the first `n` bytes of `iov` after a partial transfer.
void consume(iovec*& iov, int& count, size_t n) {
  while (count > 0 && n >= iov->iov_len) {
    n -= iov->iov_len;
    ++iov;
    --count;
  }
  if (count > 0) {
    iov->iov_base = static_cast<uint8_t*>(iov->iov_base) + n;
    iov->iov_len -= n;
  }
}

// Writes all of `iov` at `at`, resuming after short writes. Returns 0 or an errno.
int writeAll(int fd, iovec* iov, int count, off_t at) {
  while (count > 0) {
    ssize_t n = ::pwritev(fd, iov, count, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    at += n;
    consume(iov, count, static_cast<size_t>(n));
  }
  return 0;
}

// Reads all of `iov` from `at`; CutOff when the file ends first.
TapeImage::ReadResult readAll(int fd, iovec* iov, int count, off_t at) {
  while (count > 0) {
    ssize_t n = ::preadv(fd, iov, count, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return TapeImage::ReadResult::IoError;
    }
    if (n == 0) return TapeImage::ReadResult::CutOff;
    at += n;
    consume(iov, count, static_cast<size_t>(n));
  }
  return TapeImage::ReadResult::Ok;
}

}  // namespace

ImageProblem diagnoseImage(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return ImageProblem::IsFolder;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ImageProblem::None;
    // A shared lock conflicts with a holder's exclusive one and is dropped at close.
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked ? ImageProblem::InUse : ImageProblem::None;
  }
  if (errno != ENOENT) return ImageProblem::None;
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ImageProblem::None
                                                                 : ImageProblem::FolderMissing;
}

TapeImage::~TapeImage() {
  close();
}

TapeImage::OpenResult TapeImage::open(const std::string& path, bool create) {
  close();
  readOnly_ = false;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    int denied = errno;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      readOnly_ = true;
    } else if (errno == ENOENT) {
      errno = denied;  // the file does not exist and cannot be made
    }
  }
  if (fd < 0) {
    error_ = errno;
    return error_ == ENOENT && !create ? OpenResult::Missing : OpenResult::Failed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = errno;
    ::close(fd);
    return error_ == EWOULDBLOCK ? OpenResult::Locked : OpenResult::Failed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;  // only a plain file is a cartridge
    ::close(fd);
    return OpenResult::Failed;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  error_ = 0;
  return OpenResult::Opened;
}

void TapeImage::close() {
  if (fd_ >= 0) ::close(fd_);  // closing drops the lock
  fd_ = -1;
  size_ = 0;
}

TapeImage::WordResult TapeImage::readWord(uint64_t at, uint32_t& word) const {
  uint8_t bytes[4];
  for (;;) {
    ssize_t n = ::pread(fd_, bytes, sizeof bytes, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return WordResult::IoError;
    if (n != sizeof bytes) return WordResult::Short;
    word = loadLE32(bytes);
    return WordResult::Ok;
  }
}

TapeImage::Entry TapeImage::next(uint64_t pos, bool checkTrailer) const {
  using Kind = Entry::Kind;
  const Entry endOfData{Kind::EndOfData, pos, pos, 0, 0};
  uint64_t at = pos;
  for (;;) {
    if (fd_ < 0 || size_ < 4 || at > size_ - 4) return endOfData;
    uint32_t word = 0;
    WordResult r = readWord(at, word);
    if (r == WordResult::IoError) return {Kind::IoError, at, at, 0, 0};
    if (r == WordResult::Short) return endOfData;
    if (word == kTapEraseGap) {
      at += 4;
      continue;
    }
    if (word == kTapFilemark) return {Kind::Filemark, at, at + 4, 0, word};
    if (!isRecordWord(word)) return endOfData;  // 0xFFFFFFFF or a word we do not know
    uint32_t length = word & kTapLengthMask;
    uint64_t end = at + tapRecordSize(length);
    if (end > size_) return endOfData;  // cut off by a crash while appending
    if (checkTrailer) {
      uint32_t trailer = 0;
      r = readWord(end - 4, trailer);
      if (r == WordResult::IoError) return {Kind::IoError, at, at, 0, 0};
      if (r == WordResult::Short || trailer != word) return endOfData;
    }
    Kind kind = (word & kTapBadRecord) != 0 ? Kind::BadRecord : Kind::Record;
    return {kind, at, end, length, word};
  }
}

TapeImage::Entry TapeImage::previous(uint64_t pos) const {
  using Kind = Entry::Kind;
  uint64_t at = pos;
  for (;;) {
    if (at == 0) return {Kind::BeginningOfTape, 0, 0, 0, 0};
    if (fd_ < 0 || at < 4 || at > size_) return {Kind::Corrupt, at, at, 0, 0};
    uint32_t word = 0;
    WordResult r = readWord(at - 4, word);
    if (r != WordResult::Ok) return {Kind::IoError, at, at, 0, 0};
    if (word == kTapEraseGap) {
      at -= 4;
      continue;
    }
    if (word == kTapFilemark) return {Kind::Filemark, at - 4, at, 0, word};
    if (!isRecordWord(word)) return {Kind::Corrupt, at, at, 0, 0};
    uint32_t length = word & kTapLengthMask;
    uint64_t size = tapRecordSize(length);
    if (size > at) return {Kind::Corrupt, at, at, 0, 0};
    uint32_t header = 0;
    r = readWord(at - size, header);
    if (r == WordResult::IoError) return {Kind::IoError, at, at, 0, 0};
    if (r == WordResult::Short || header != word) return {Kind::Corrupt, at, at, 0, 0};
    Kind kind = (word & kTapBadRecord) != 0 ? Kind::BadRecord : Kind::Record;
    return {kind, at - size, at, length, word};
  }
}

TapeImage::ReadResult TapeImage::readRecord(const Entry& record, uint8_t* buffer, uint32_t count) {
  uint8_t tail[5];  // pad byte (odd lengths) and the trailing length word
  size_t tailLength = 4u + (record.length & 1u);
  uint64_t data = record.start + 4;
  ReadResult r;
  if (count == record.length) {
    // The usual case: data straight into the caller's buffer and the tail, one call.
    iovec iov[2] = {{buffer, count}, {tail, tailLength}};
    r = readAll(fd_, iov, 2, static_cast<off_t>(data));
  } else {
    iovec head{buffer, count};
    r = readAll(fd_, &head, 1, static_cast<off_t>(data));
    if (r == ReadResult::Ok) {
      iovec rest{tail, tailLength};
      r = readAll(fd_, &rest, 1, static_cast<off_t>(data + record.length));
    }
  }
  if (r != ReadResult::Ok) return r;
  return loadLE32(tail + tailLength - 4) == record.word ? ReadResult::Ok : ReadResult::CutOff;
}

int TapeImage::cutTo(uint64_t pos) {
  if (size_ == pos) return 0;  // already the end: no system call
  while (::ftruncate(fd_, static_cast<off_t>(pos)) != 0) {
    if (errno != EINTR) return errno;
  }
  size_ = pos;
  return 0;
}

int TapeImage::truncate(uint64_t pos) {
  if (fd_ < 0) return EBADF;
  return cutTo(pos);
}

int TapeImage::appendRecord(uint64_t pos, const uint8_t* data, uint32_t length) {
  if (fd_ < 0) return EBADF;
  if (int e = cutTo(pos)) return e;
  uint8_t head[4];
  uint8_t tail[5] = {0};
  storeLE32(head, length);
  bool odd = (length & 1u) != 0;
  storeLE32(tail + 1, length);
  iovec iov[3] = {{head, sizeof head},
                  {const_cast<uint8_t*>(data), length},
                  {odd ? tail : tail + 1, odd ? 5u : 4u}};
  if (int e = writeAll(fd_, iov, 3, static_cast<off_t>(pos))) {
    size_ = pos + 1;  // unknown how much landed: force the cut
    cutTo(pos);
    return e;
  }
  size_ = pos + tapRecordSize(length);
  return 0;
}

int TapeImage::appendFilemarks(uint64_t pos, uint32_t count) {
  if (fd_ < 0) return EBADF;
  if (int e = cutTo(pos)) return e;
  static const uint8_t zeros[4096] = {};
  uint64_t at = pos;
  uint64_t left = static_cast<uint64_t>(count) * 4;
  while (left > 0) {
    size_t chunk = left < sizeof zeros ? static_cast<size_t>(left) : sizeof zeros;
    iovec iov{const_cast<uint8_t*>(zeros), chunk};
    if (int e = writeAll(fd_, &iov, 1, static_cast<off_t>(at))) {
      size_ = at + 1;
      cutTo(pos);
      return e;
    }
    at += chunk;
    left -= chunk;
  }
  size_ = at;
  return 0;
}

int TapeImage::sync() {
  if (fd_ < 0) return 0;
  return ::fdatasync(fd_) == 0 ? 0 : errno;
}

}  // namespace korv
