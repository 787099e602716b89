#include "jobs/dirsearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "sys/cp932.h"
#include "sys/file_info.h"
#include "tape/entry_size.h"
#include "tape/records.h"

namespace korv::jobs {
namespace {

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not a valid one.
size_t utf8Length(const std::string& s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  }
  return n;
}

// Shortens CP932 text to fit a field with its zero byte, never splitting a character.
std::string fitField(std::string cp932) {
  if (cp932.size() <= kMaxFieldText) return cp932;
  size_t length = kMaxFieldText;
  if (isCp932TrailByte(cp932, length)) --length;
  cp932.resize(length);
  return cp932;
}

// What the listing collects besides the files.
struct ListingNotes {
  std::vector<std::string>* unsearchable;
  LeftOutList* leftOut;
};

std::optional<LeftOutEntry::Kind> leftOutKind(uint32_t mode) {
  if (S_ISLNK(mode)) return LeftOutEntry::Kind::SymbolicLink;
  if (S_ISFIFO(mode)) return LeftOutEntry::Kind::Fifo;
  if (S_ISSOCK(mode)) return LeftOutEntry::Kind::Socket;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return LeftOutEntry::Kind::Device;
  return std::nullopt;
}

void addEntry(int dirFd, const std::string& prefix, const char* name, FileList& filelist,
              const ListingNotes& notes);

// Lists the open folder `dirFd` (taken over and closed here) whose path is `prefix`.
void searchFolder(int dirFd, const std::string& prefix, FileList& filelist,
                  const ListingNotes& notes) {
  DIR* dir = fdopendir(dirFd);
  if (dir == nullptr) {
    close(dirFd);
    if (notes.unsearchable) notes.unsearchable->push_back(prefix);
    return;
  }
  while (const dirent* d = readdir(dir)) {
    const std::string_view name(d->d_name);
    if (name == "." || name == "..") continue;
    addEntry(dirfd(dir), prefix, d->d_name, filelist, notes);
  }
  closedir(dir);
}

void addEntry(int dirFd, const std::string& prefix, const char* name, FileList& filelist,
              const ListingNotes& notes) {
  std::error_code error;
  const auto info = readFileInfoAt(dirFd, name, error);
  if (!info) return;  // vanished since the directory was read
  const std::string path = prefix + name;
  if (info->kind == FileKind::Directory) {
    // O_NOFOLLOW: should the folder be swapped for a link since it was examined, the open
    // fails instead of leaving the tree.
    const int sub = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) {
      if (notes.unsearchable) notes.unsearchable->push_back(path + "/");
      return;
    }
    searchFolder(sub, path + "/", filelist, notes);
  } else if (info->isRegularFile()) {
    filelist.push_back(makeListedFile(path, info->size, info->packedLastWrite, info->findData,
                                      info->nameFitsCp932));
  } else if (const auto kind = leftOutKind(info->mode); kind && notes.leftOut) {
    notes.leftOut->push_back({path, *kind});
  }
}

}  // namespace

std::string lossyCp932(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const size_t n = utf8Length(utf8, i);
    if (n == 0) {
      out += '?';
      ++i;
      continue;
    }
    const auto encoded = utf8ToCp932(std::string_view(utf8).substr(i, n));
    out += encoded ? *encoded : std::string("?");
    i += n;
  }
  return out;
}

ListedFile makeListedFile(const std::string& path, uint64_t size, uint32_t packedLastWrite,
                          const FindData& findData, bool nameFitsCp932) {
  ListedFile file;
  file.path = path;
  file.openPath = path;
  file.size = size;
  sf_file2& e = file.entry;
  e.time = static_cast<double>(packedLastWrite);
  e.size = static_cast<int32_t>(static_cast<uint32_t>(size));
  e.attributes = findData.attributes;

  auto encoded = nameFitsCp932 ? utf8ToCp932(path) : std::nullopt;
  if (!encoded) {
    file.problem = ListingProblem::NameNotCp932;
    e.name = fitField(lossyCp932(path));
    FindData shown = findData;
    const size_t slash = path.rfind('/');
    shown.fileName = lossyCp932(slash == std::string::npos ? path : path.substr(slash + 1));
    e.finddata = encodeFindData(shown);
    return file;
  }
  e.finddata = encodeFindData(findData);
  if (encoded->size() > kMaxFieldText) {
    file.problem = ListingProblem::PathTooLong;
    e.name = fitField(std::move(*encoded));
  } else {
    e.name = std::move(*encoded);
    if (size > kLargestStreamSize) file.problem = ListingProblem::TooLarge;
  }
  return file;
}

std::string listingProblemLine(const std::string& path, ListingProblem problem) {
  switch (problem) {
    case ListingProblem::PathTooLong:
      return path + "はパスが長すぎる為バックアップしません";
    case ListingProblem::NameNotCp932:
      return path + "はファイル名をShift-JISで表せない為バックアップしません";
    case ListingProblem::TooLarge:
      return path + "は2GB以上の為バックアップしません";
    case ListingProblem::None:
      break;
  }
  return path;
}

std::string leftOutLine(const LeftOutEntry& entry) {
  switch (entry.kind) {
    case LeftOutEntry::Kind::SymbolicLink:
      return entry.path + "はシンボリックリンクの為バックアップしません";
    case LeftOutEntry::Kind::Fifo:
      return entry.path + "は名前付きパイプの為バックアップしません";
    case LeftOutEntry::Kind::Socket:
      return entry.path + "はソケットの為バックアップしません";
    case LeftOutEntry::Kind::Device:
      return entry.path + "はデバイスファイルの為バックアップしません";
  }
  return entry.path;
}

void dirsearch(const std::string& folder, FileList& filelist,
               std::vector<std::string>* unsearchable, LeftOutList* leftOut) {
  // The folder the user chose may itself be reached through a link; below it nothing is.
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    if (unsearchable) unsearchable->push_back(folder);
    return;
  }
  searchFolder(fd, folder, filelist, {unsearchable, leftOut});
}

bool listFile(const std::string& path, FileList& filelist, std::error_code& error) {
  // Follow a link the user named, but examine what it points at without opening it.
  char resolved[PATH_MAX];
  std::string target = path;
  if (realpath(path.c_str(), resolved) != nullptr) target = resolved;
  const auto info = readFileInfo(target, error);
  if (!info) return false;
  if (!info->isRegularFile()) {
    error = std::make_error_code(std::errc::invalid_argument);
    return false;
  }
  FindData findData = info->findData;
  bool fits = info->nameFitsCp932;
  // The entry records the name the user gave, not the link's target.
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (auto encoded = utf8ToCp932(name)) {
    findData.fileName = *encoded;
    fits = true;
  } else {
    fits = false;
  }
  findData.attributes &= ~FILE_ATTRIBUTE_HIDDEN;
  if (!name.empty() && name[0] == '.') findData.attributes |= FILE_ATTRIBUTE_HIDDEN;
  filelist.push_back(makeListedFile(path, info->size, info->packedLastWrite, findData, fits));
  filelist.back().openPath = target;
  return true;
}

}  // namespace korv::jobs
