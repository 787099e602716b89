#include "sys/file_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sys/cp932.h"
#include "sys/datetime.h"

namespace korv {
namespace {

struct RawStat {
  uint32_t mode = 0;
  uint64_t size = 0;
  struct timespec access {
  }, write{};
  std::optional<struct timespec> birth;
};

std::error_code lastError() {
  return {errno, std::system_category()};
}

bool statEntry(int dirFd, const char* name, RawStat& raw, std::error_code& error) {
  struct statx sx {};
  if (statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
            STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
    raw.mode = sx.stx_mode;
    raw.size = sx.stx_size;
    raw.access = {static_cast<time_t>(sx.stx_atime.tv_sec),
                  static_cast<long>(sx.stx_atime.tv_nsec)};
    raw.write = {static_cast<time_t>(sx.stx_mtime.tv_sec), static_cast<long>(sx.stx_mtime.tv_nsec)};
    if (sx.stx_mask & STATX_BTIME) {
      raw.birth = timespec{static_cast<time_t>(sx.stx_btime.tv_sec),
                           static_cast<long>(sx.stx_btime.tv_nsec)};
    }
    return true;
  }
  // Old kernels and some sandboxes refuse statx itself; anything else is the real answer.
  if (errno != ENOSYS && errno != EPERM && errno != EINVAL) {
    error = lastError();
    return false;
  }
  struct stat st {};
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    error = lastError();
    return false;
  }
  raw.mode = st.st_mode;
  raw.size = static_cast<uint64_t>(st.st_size);
  raw.access = st.st_atim;
  raw.write = st.st_mtim;
  return true;
}

FileInfo makeInfo(const RawStat& raw, const std::string& name) {
  FileInfo info;
  info.mode = raw.mode;
  info.kind = S_ISREG(raw.mode)   ? FileKind::Regular
              : S_ISDIR(raw.mode) ? FileKind::Directory
                                  : FileKind::Other;
  info.size = S_ISREG(raw.mode) ? raw.size : 0;
  info.packedLastWrite = packDosDateTime(raw.write.tv_sec);

  FindData& fd = info.findData;
  fd.attributes = FILE_ATTRIBUTE_ARCHIVE;
  if ((raw.mode & S_IWUSR) == 0) fd.attributes |= FILE_ATTRIBUTE_READONLY;
  if (!name.empty() && name[0] == '.') fd.attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (info.kind == FileKind::Directory) fd.attributes |= FILE_ATTRIBUTE_DIRECTORY;
  const struct timespec created = raw.birth.value_or(raw.write);
  fd.creationTime = toFileTime(created.tv_sec, created.tv_nsec);
  fd.lastAccessTime = toFileTime(raw.access.tv_sec, raw.access.tv_nsec);
  fd.lastWriteTime = toFileTime(raw.write.tv_sec, raw.write.tv_nsec);
  fd.sizeHigh = static_cast<uint32_t>(info.size >> 32);
  fd.sizeLow = static_cast<uint32_t>(info.size);
  if (auto encoded = utf8ToCp932(name)) {
    fd.fileName = std::move(*encoded);
  } else {
    info.nameFitsCp932 = false;
  }
  return info;
}

std::string lastComponent(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const size_t slash = trimmed.rfind('/');
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

struct timespec toTimespec(uint64_t fileTime) {
  if (fileTime == 0) return {0, UTIME_OMIT};
  return fromFileTime(fileTime);
}

}  // namespace

std::optional<FileInfo> readFileInfo(const std::string& path, std::error_code& error) {
  RawStat raw;
  if (!statEntry(AT_FDCWD, path.c_str(), raw, error)) return std::nullopt;
  error.clear();
  return makeInfo(raw, lastComponent(path));
}

std::optional<FileInfo> readFileInfoAt(int dirFd, const std::string& name, std::error_code& error) {
  RawStat raw;
  if (!statEntry(dirFd, name.c_str(), raw, error)) return std::nullopt;
  error.clear();
  return makeInfo(raw, name);
}

bool applyFileTimes(int fd, uint64_t lastAccessTime, uint64_t lastWriteTime,
                    std::error_code& error) {
  const struct timespec times[2] = {toTimespec(lastAccessTime), toTimespec(lastWriteTime)};
  if (futimens(fd, times) != 0) {
    error = lastError();
    return false;
  }
  error.clear();
  return true;
}

bool applyReadOnly(int fd, std::error_code& error) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || fchmod(fd, st.st_mode & 07777 & ~S_IWUSR) != 0) {
    error = lastError();
    return false;
  }
  error.clear();
  return true;
}

bool makeOwnerWritable(const std::string& path, std::error_code& error) {
  struct stat st {};
  if (fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    error = lastError();
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = std::make_error_code(std::errc::invalid_argument);
    return false;
  }
  // AT_SYMLINK_NOFOLLOW: should the entry be swapped for a link meanwhile, the call fails
  // rather than change the link's target.
  if ((st.st_mode & S_IWUSR) == 0 &&
      fchmodat(AT_FDCWD, path.c_str(), (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW) != 0) {
    error = lastError();
    return false;
  }
  error.clear();
  return true;
}

}  // namespace korv
