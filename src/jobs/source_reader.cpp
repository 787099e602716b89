#include "jobs/source_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "tape/datastream.h"

namespace korv::jobs {
namespace {

// Reads up to `want` bytes, continuing after short reads. Returns the bytes read; fewer
// than `want` means the file ended early or a read failed (`failed` tells which).
size_t readFull(int fd, uint8_t* buffer, size_t want, bool& failed) {
  size_t got = 0;
  failed = false;
  while (got < want) {
    const ssize_t n = read(fd, buffer + got, want - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      failed = true;
      break;
    }
  }
  return got;
}

// Opens a listed file for reading without following a link at its name and without
// blocking on a FIFO that took a regular file's place; only a regular file is kept.
int openSource(const std::string& path, struct stat& st) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  // Read-ahead pays for large files only; for small ones it is one more system call.
  if (st.st_size > (1 << 20)) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

}  // namespace

SourceReader::SourceReader(std::vector<Source> sources, size_t ringBlocks)
    : sources_(std::move(sources)), ring_(std::max<size_t>(ringBlocks, 1)) {
  for (Slot& slot : ring_) slot.buffer = std::make_unique<uint8_t[]>(kBlockSize);
  if (ringBlocks > 0) reader_ = std::thread([this] { readerLoop(); });
}

SourceReader::~SourceReader() {
  if (reader_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    freed_.notify_all();
    reader_.join();
  }
  if (fd_ >= 0) close(fd_);
}

void SourceReader::produceOne(Slot& slot) {
  slot.first = fd_ < 0;
  slot.hasData = false;
  slot.block = {};
  if (slot.first) {
    while (sources_[nextSource_].file == nullptr) ++nextSource_;
    current_ = nextSource_++;
    const ListedFile& source = *sources_[current_].file;
    struct stat st {};
    const int fd = openSource(source.openPath(), st);
    slot.index = current_;
    if (fd < 0) {
      slot.opening = Opening::Failed;
      return;
    }
    if (static_cast<uint64_t>(st.st_size) != source.size || source.size == 0) {
      slot.opening = source.size == 0 && st.st_size == 0 ? Opening::Opened : Opening::SizeChanged;
      close(fd);
      return;
    }
    slot.opening = Opening::Opened;
    fd_ = fd;
    left_ = source.size;
  }
  slot.index = current_;
  slot.hasData = true;
  const size_t want = left_ < kBlockSize ? static_cast<size_t>(left_) : kBlockSize;
  bool failed = false;
  const size_t got = readFull(fd_, slot.buffer.get(), want, failed);
  if (got < want) std::fill(slot.buffer.get() + got, slot.buffer.get() + want, uint8_t{0});
  slot.block = {slot.buffer.get(), got, failed};
  left_ -= want;
  // A file that gave out is not read further: the run pads the rest of its stream.
  if (got < want || left_ == 0) {
    close(fd_);
    fd_ = -1;
    left_ = 0;
  }
}

void SourceReader::readerLoop() {
  const size_t capacity = ring_.size();
  const size_t batch = std::max<size_t>(capacity / 2, 1);
  std::unique_lock lock(mutex_);
  for (;;) {
    // Woken only once half the ring is free again: one wake-up per batch, not per block.
    if (count_ == capacity) {
      readerWaits_ = true;
      freed_.wait(lock, [&] { return stopping_ || capacity - count_ >= batch; });
      readerWaits_ = false;
    }
    if (stopping_) return;
    bool more = fd_ >= 0;
    while (!more && nextSource_ < sources_.size()) {
      more = sources_[nextSource_].file != nullptr;
      if (!more) ++nextSource_;
    }
    if (!more) {
      finished_ = true;
      if (takerWaits_) filled_.notify_all();
      return;
    }
    Slot& slot = ring_[(headAt_ + count_) % capacity];
    lock.unlock();
    produceOne(slot);
    lock.lock();
    ++count_;
    if (takerWaits_ && count_ >= batch) filled_.notify_all();
  }
}

SourceReader::Slot& SourceReader::head() {
  if (!reader_.joinable()) {
    // No thread: read the next step now, into the one buffer.
    if (count_ == 0) {
      produceOne(ring_[0]);
      count_ = 1;
    }
    return ring_[0];
  }
  std::unique_lock lock(mutex_);
  if (count_ == 0) {
    const size_t batch = std::max<size_t>(ring_.size() / 2, 1);
    takerWaits_ = true;
    filled_.wait(lock, [&] { return count_ >= batch || (finished_ && count_ > 0); });
    takerWaits_ = false;
  }
  return ring_[headAt_];
}

void SourceReader::drop() {
  if (!reader_.joinable()) {
    count_ = 0;
    return;
  }
  std::lock_guard lock(mutex_);
  headAt_ = (headAt_ + 1) % ring_.size();
  --count_;
  if (readerWaits_ && ring_.size() - count_ >= std::max<size_t>(ring_.size() / 2, 1)) {
    freed_.notify_all();
  }
}

SourceReader::Opening SourceReader::open(size_t index) {
  if (!reader_.joinable() && fd_ >= 0 && current_ < index) {
    close(fd_);  // without a thread an abandoned file is simply not read on
    fd_ = -1;
    left_ = 0;
    count_ = 0;
  }
  for (;;) {
    Slot& slot = head();
    if (slot.index == index && slot.first) {
      const Opening opening = slot.opening;
      if (!slot.hasData) drop();  // nothing follows the opening
      return opening;
    }
    drop();  // the rest of an entry the run abandoned
  }
}

SourceReader::Block SourceReader::block() {
  return head().block;
}

void SourceReader::release() {
  drop();
}

}  // namespace korv::jobs
