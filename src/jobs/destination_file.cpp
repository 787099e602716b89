#include "jobs/destination_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

namespace korv::jobs {
namespace {

// Hidden, short whatever the final name's length, and unlikely to meet another's.
std::string temporaryName() {
  thread_local std::mt19937_64 random{std::random_device{}()};
  char text[40];
  std::snprintf(text, sizeof text, ".korvessian-%016llx.tmp",
                static_cast<unsigned long long>(random()));
  return text;
}

// What keeps a restored file from replacing what stands at its name: a folder, or a FIFO,
// socket or device, which is not a file a restore replaces. 0 for a file or a link.
int refusalFor(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return EEXIST;
  return 0;
}

bool procFdUsable() {
  static const bool usable = access("/proc/self/fd", X_OK) == 0;
  return usable;
}

}  // namespace

int DestinationFile::create(int dirFd, const std::string& name, const struct stat* existing) {
  if (existing != nullptr && refusalFor(*existing) != 0) return refusalFor(*existing);
  dirFd_ = dirFd;
  name_ = name;
  // Where nothing stands yet, the file is made without a name and gets its final one
  // only when complete: one entry in the folder instead of a temporary one renamed,
  // and a killed run leaves nothing behind. File systems without unnamed files get a
  // named temporary file.
  if (existing == nullptr && procFdUsable()) {
    const int fd = openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      unnamed_ = true;
      return 0;
    }
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string temporary = temporaryName();
    // O_EXCL with O_CREAT never follows a link and never opens what exists.
    const int fd = openat(dirFd, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return errno;
    fd_ = fd;
    temporary_ = temporary;
    return 0;
  }
  return EEXIST;
}

DestinationFile::Commit DestinationFile::commit(int& error, const Stays& stays) {
  if (unnamed_) {
    unnamed_ = false;
    if (linkTo(name_.c_str())) {
      const bool closed = close(fd_) == 0;
      error = errno;
      fd_ = -1;
      if (closed) return Commit::Done;
      unlinkat(dirFd_, name_.c_str(), 0);  // nothing stood there before
      return Commit::CloseFailed;
    }
    // Something has the name: it is replaced as any existing file is, unless it stays.
    const int linkError = errno;
    const int refusal = linkError == EEXIST ? refusalAtName(stays) : 0;
    if (refusal < 0) {
      discard();
      return Commit::NameKept;
    }
    if (refusal != 0 || linkError != EEXIST || !nameTemporarily()) {
      error = refusal != 0 ? refusal : linkError != EEXIST ? linkError : errno;
      discard();
      return Commit::RenameFailed;
    }
  }
  const bool closed = close(fd_) == 0;
  error = errno;
  fd_ = -1;
  const int refusal = closed ? refusalAtName(stays) : 0;
  if (refusal < 0) {
    unlinkat(dirFd_, temporary_.c_str(), 0);
    temporary_.clear();
    return Commit::NameKept;
  }
  if (refusal != 0) {
    error = refusal;
  } else if (closed && renameat(dirFd_, temporary_.c_str(), dirFd_, name_.c_str()) == 0) {
    temporary_.clear();
    return Commit::Done;
  }
  if (closed && refusal == 0) error = errno;
  unlinkat(dirFd_, temporary_.c_str(), 0);
  temporary_.clear();
  return closed ? Commit::RenameFailed : Commit::CloseFailed;
}

void DestinationFile::discard() {
  if (fd_ >= 0) close(fd_);  // an unnamed file vanishes with it
  fd_ = -1;
  unnamed_ = false;
  if (!temporary_.empty()) unlinkat(dirFd_, temporary_.c_str(), 0);
  temporary_.clear();
}

int DestinationFile::refusalAtName(const Stays& stays) const {
  struct stat st {};
  if (fstatat(dirFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;
  if (const int refusal = refusalFor(st)) return refusal;
  return stays && stays(st) ? -1 : 0;
}

bool DestinationFile::linkTo(const char* name) {
  // Linking the open file itself spares the kernel resolving /proc/self/fd/N, a good part
  // of the cost of a small file. Kernels before 6.10 allow it to privileged callers only
  // (ENOENT otherwise); then the /proc path serves, from then on.
  static std::atomic<bool> emptyPathRefused{false};
  if (!emptyPathRefused.load(std::memory_order_relaxed)) {
    if (linkat(fd_, "", dirFd_, name, AT_EMPTY_PATH) == 0) return true;
    if (errno != ENOENT) return false;
  }
  char link[40];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd_);
  if (linkat(AT_FDCWD, link, dirFd_, name, AT_SYMLINK_FOLLOW) != 0) return false;
  emptyPathRefused.store(true, std::memory_order_relaxed);
  return true;
}

bool DestinationFile::nameTemporarily() {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string temporary = temporaryName();
    if (linkTo(temporary.c_str())) {
      temporary_ = temporary;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace korv::jobs
