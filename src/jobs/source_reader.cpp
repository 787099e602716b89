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
int openSource(int folderFd, const char* path, struct stat& st) {
  const int fd = openat(folderFd, path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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
    : sources_(std::move(sources)),
      ring_(std::max<size_t>(ringBlocks, 1)),
      batch_(std::max<size_t>(ring_.size() / 2, 1)) {
  // Left uninitialised: a page of a slot is touched only when a block is read into it.
  for (Slot& slot : ring_) slot.buffer.reset(new uint8_t[kBlockSize]);
  if (ringBlocks > 0) reader_ = std::thread([this] { readerLoop(); });
}

int SourceReader::openListed(const ListedFile& file, struct stat& st) {
  if (file.unusual && !file.unusual->target.empty()) {
    return openSource(AT_FDCWD, file.unusual->target.c_str(), st);
  }
  // The files of a folder are opened by their names in it, through one descriptor held
  // for the folder, instead of walking the whole path again for every file.
  if (file.folder.get() != folderOf_) {
    if (folderFd_ >= 0) close(folderFd_);
    folderFd_ = ::open(file.folder->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    folderOf_ = file.folder.get();
  }
  if (folderFd_ < 0) return openSource(AT_FDCWD, file.path().c_str(), st);
  return openSource(folderFd_, file.fileName.c_str(), st);
}

SourceReader::~SourceReader() {
  if (reader_.joinable()) {
    takenWord_.fetch_or(1);
    takenWord_.notify_one();
    reader_.join();
  }
  if (fd_ >= 0) close(fd_);
  if (folderFd_ >= 0) close(folderFd_);
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
    const int fd = openListed(source, st);
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
  for (;;) {
    uint64_t taken = takenWord_.load();
    if (filled_ - (taken >> 1) == capacity) {
      // Asleep until half the ring is free again (or the run stops). The flag is raised
      // before the count is read again, so a release after that read finds it raised.
      readerWaits_.store(true);
      for (;;) {
        taken = takenWord_.load();
        if ((taken & 1) != 0 || capacity - (filled_ - (taken >> 1)) >= batch_) break;
        takenWord_.wait(taken);
      }
      readerWaits_.store(false);
    }
    if ((taken & 1) != 0) return;
    bool more = fd_ >= 0;
    while (!more && nextSource_ < sources_.size()) {
      more = sources_[nextSource_].file != nullptr;
      if (!more) ++nextSource_;
    }
    if (!more) {
      filledWord_.fetch_or(1);
      filledWord_.notify_one();
      return;
    }
    produceOne(ring_[filled_ % capacity]);
    ++filled_;
    filledWord_.fetch_add(2);
    if (takerWaits_.load() && filled_ - (takenWord_.load() >> 1) >= batch_) {
      filledWord_.notify_one();
    }
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
  uint64_t filled = filledWord_.load();
  if ((filled >> 1) == taken_) {
    takerWaits_.store(true);
    for (;;) {
      filled = filledWord_.load();
      const uint64_t ready = (filled >> 1) - taken_;
      if (ready >= batch_ || ((filled & 1) != 0 && ready > 0)) break;
      filledWord_.wait(filled);
    }
    takerWaits_.store(false);
  }
  return ring_[taken_ % ring_.size()];
}

void SourceReader::drop() {
  if (!reader_.joinable()) {
    count_ = 0;
    return;
  }
  ++taken_;
  takenWord_.fetch_add(2);
  if (!readerWaits_.load()) return;
  if (ring_.size() - ((filledWord_.load() >> 1) - taken_) >= batch_) takenWord_.notify_one();
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
