#include "jobs/restore_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "sys/cp932.h"

namespace korv::jobs {
namespace {

std::error_code lastError() {
  return {errno, std::system_category()};
}

bool isDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

RestoreTarget mapRestorePath(const std::string& cp932Name) {
  std::string path = cp932ToUtf8(cp932Name);
  RestoreTarget target;
  if (path.empty() || path[0] != '/') {
    // Written on Windows: drop the drive and take '\' as the separator.
    if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':') path.erase(0, 2);
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
  }
  size_t start = 0;
  std::vector<std::string> parts;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      target.refusal = RestoreTarget::Refusal::ClimbsOut;
      return target;
    }
    parts.push_back(std::move(part));
  }
  if (parts.empty()) {
    target.refusal = RestoreTarget::Refusal::Empty;
    return target;
  }
  target.fileName = parts.back();
  parts.pop_back();
  for (const auto& folder : parts) target.relative += folder + "/";
  target.relative += target.fileName;
  target.folders = std::move(parts);
  return target;
}

std::string joinDestination(const std::string& folderText, const std::string& relative) {
  if (folderText.empty() || folderText.back() == '/') return folderText + relative;
  return folderText + "/" + relative;
}

DestinationTree::~DestinationTree() {
  dropCachedFolder();
  if (rootFd_ >= 0) close(rootFd_);
}

void DestinationTree::dropCachedFolder() {
  if (cachedFd_ >= 0 && cachedFd_ != rootFd_) close(cachedFd_);
  cachedFd_ = -1;
  cachedFolders_.clear();
}

bool DestinationTree::openRoot(const std::string& folderText, std::error_code& error) {
  if (rootFd_ >= 0 && folderText == rootText_) return true;
  dropCachedFolder();
  if (rootFd_ >= 0) close(rootFd_);
  rootFd_ = -1;
  rootText_.clear();
  std::filesystem::create_directories(folderText, error);  // a no-op when it exists
  const int fd = open(folderText.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = lastError();
    return false;
  }
  error.clear();
  rootFd_ = fd;
  rootText_ = folderText;
  return true;
}

int DestinationTree::openFolder(const std::vector<std::string>& folders, std::error_code& error) {
  if (rootFd_ < 0) {
    error = std::make_error_code(std::errc::bad_file_descriptor);
    return -1;
  }
  if (cachedFd_ >= 0 && folders == cachedFolders_) return cachedFd_;
  dropCachedFolder();
  int fd = rootFd_;
  for (const auto& name : folders) {
    if (mkdirat(fd, name.c_str(), 0777) != 0 && errno != EEXIST) {
      error = lastError();
      if (fd != rootFd_) close(fd);
      return -1;
    }
    // O_NOFOLLOW: a link where a folder should be is refused, never walked through.
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int openError = errno;
    if (fd != rootFd_) close(fd);
    if (next < 0) {
      error = {openError, std::system_category()};
      return -1;
    }
    fd = next;
  }
  error.clear();
  cachedFd_ = fd;
  cachedFolders_ = folders;
  return fd;
}

}  // namespace korv::jobs
