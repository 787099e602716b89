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
  buffer_.attach(fd_, size_);
  files_.clear();
  openFile_.reset();
  error_ = 0;
  return OpenResult::Opened;
}

void TapeImage::close() {
  if (fd_ >= 0) {
    buffer_.flush();  // best effort, as a drive writes its buffer out at an unload
    buffer_.detach();
    ::close(fd_);  // closing drops the lock
  }
  files_.clear();
  openFile_.reset();
  fd_ = -1;
  size_ = 0;
}

TapeImage::WordResult TapeImage::readWord(uint64_t at, uint32_t& word) const {
  uint8_t bytes[4];
  const ssize_t n = buffer_.read(at, bytes, sizeof bytes);
  if (n < 0) return WordResult::IoError;
  if (n != sizeof bytes) return WordResult::Short;
  word = loadLE32(bytes);
  return WordResult::Ok;
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
  const size_t tailLength = 4u + (record.length & 1u);
  const uint64_t data = record.start + 4;
  const ssize_t got = buffer_.read(data, buffer, count);
  if (got < 0) return ReadResult::IoError;
  if (static_cast<size_t>(got) < count) return ReadResult::CutOff;
  const ssize_t gotTail = buffer_.read(data + record.length, tail, tailLength);
  if (gotTail < 0) return ReadResult::IoError;
  if (static_cast<size_t>(gotTail) < tailLength) return ReadResult::CutOff;
  return loadLE32(tail + tailLength - 4) == record.word ? ReadResult::Ok : ReadResult::CutOff;
}

int TapeImage::cutTo(uint64_t pos) {
  if (size_ == pos) return 0;  // already the end: nothing to do
  if (int e = buffer_.truncate(pos)) return e;
  size_ = pos;
  files_.cut(pos);
  if (openFile_ && *openFile_ > pos) openFile_.reset();
  return 0;
}

// Entries appended at `pos` belong to a file whose start is known when everything from
// that start on was appended here, or when `pos` itself starts a file.
void TapeImage::noteAppendAt(uint64_t pos) {
  if (openFile_ && *openFile_ <= pos) return;
  openFile_.reset();
  if (pos == 0 || previous(pos).kind == Entry::Kind::Filemark) openFile_ = pos;
}

int TapeImage::truncate(uint64_t pos) {
  if (fd_ < 0) return EBADF;
  return cutTo(pos);
}

int TapeImage::appendRecord(uint64_t pos, const uint8_t* data, uint32_t length) {
  if (fd_ < 0) return EBADF;
  if (int e = cutTo(pos)) return e;
  noteAppendAt(pos);
  uint8_t head[4];
  uint8_t tail[5] = {0};
  storeLE32(head, length);
  bool odd = (length & 1u) != 0;
  storeLE32(tail + 1, length);
  iovec iov[3] = {{head, sizeof head},
                  {const_cast<uint8_t*>(data), length},
                  {odd ? tail : tail + 1, odd ? 5u : 4u}};
  if (int e = buffer_.append(iov, 3)) return e;  // a failed append keeps nothing of it
  size_ = buffer_.size();
  return 0;
}

int TapeImage::appendFilemarks(uint64_t pos, uint32_t count) {
  if (fd_ < 0) return EBADF;
  if (int e = cutTo(pos)) return e;
  noteAppendAt(pos);
  static const uint8_t zeros[4096] = {};
  uint64_t at = pos;
  uint64_t left = static_cast<uint64_t>(count) * 4;
  while (left > 0) {
    size_t chunk = left < sizeof zeros ? static_cast<size_t>(left) : sizeof zeros;
    iovec iov{const_cast<uint8_t*>(zeros), chunk};
    if (int e = buffer_.append(&iov, 1)) {
      size_ = buffer_.size();
      cutTo(pos);
      return e;
    }
    at += chunk;
    left -= chunk;
  }
  size_ = buffer_.size();
  if (openFile_) files_.add(*openFile_, pos);
  for (uint32_t i = 1; i < count; ++i) files_.add(pos + 4 * i, pos + 4 * i);  // empty files
  openFile_ = pos + uint64_t{count} * 4;
  return 0;
}

int TapeImage::flush() {
  if (fd_ < 0) return 0;
  return buffer_.flush();
}

int TapeImage::sync() {
  if (fd_ < 0) return 0;
  if (int e = buffer_.flush()) return e;
  return ::fdatasync(fd_) == 0 ? 0 : errno;
}

}  // namespace korv
