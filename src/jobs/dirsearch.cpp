#include "jobs/dirsearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>

#include "jobs/entry_examiner.h"
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

using Folder = std::shared_ptr<const std::string>;

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

// Entries of a folder read and examined at a time: a huge folder's names and their
// answers are never all held at once.
constexpr size_t kBatch = 256;

void addEntry(int dirFd, const Folder& prefix, const std::string& name,
              const std::optional<FileInfo>& info, FileList& filelist, const ListingNotes& notes,
              EntryExaminer& examiner);

// Lists the open folder `dirFd` (taken over and closed here) whose path is `prefix`.
void searchFolder(int dirFd, const Folder& prefix, FileList& filelist, const ListingNotes& notes,
                  EntryExaminer& examiner) {
  DIR* dir = fdopendir(dirFd);
  if (dir == nullptr) {
    close(dirFd);
    if (notes.unsearchable) notes.unsearchable->push_back(*prefix);
    return;
  }
  std::vector<std::string> names;
  std::vector<std::optional<FileInfo>> infos;
  bool more = true;
  while (more) {
    names.clear();
    while (names.size() < kBatch) {
      const dirent* d = readdir(dir);
      if (d == nullptr) {
        more = false;
        break;
      }
      const std::string_view name(d->d_name);
      if (name == "." || name == "..") continue;
      names.emplace_back(name);
    }
    examiner.examine(dirfd(dir), names, infos);
    for (size_t i = 0; i < names.size(); ++i) {
      addEntry(dirfd(dir), prefix, names[i], infos[i], filelist, notes, examiner);
    }
  }
  closedir(dir);
}

void addEntry(int dirFd, const Folder& prefix, const std::string& name,
              const std::optional<FileInfo>& info, FileList& filelist, const ListingNotes& notes,
              EntryExaminer& examiner) {
  if (!info) return;  // vanished since the directory was read
  if (info->kind == FileKind::Directory) {
    const std::string path = *prefix + name;
    // O_NOFOLLOW: should the folder be swapped for a link since it was examined, the open
    // fails instead of leaving the tree.
    const int sub = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) {
      if (notes.unsearchable) notes.unsearchable->push_back(path + "/");
      return;
    }
    searchFolder(sub, std::make_shared<const std::string>(path + "/"), filelist, notes, examiner);
  } else if (info->isRegularFile()) {
    filelist.push_back(makeListedFile(prefix, name, info->size, info->packedLastWrite,
                                      info->findData, info->nameFitsCp932));
  } else if (const auto kind = leftOutKind(info->mode); kind && notes.leftOut) {
    notes.leftOut->push_back({*prefix + name, *kind});
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

ListedFile makeListedFile(Folder folder, const std::string& name, uint64_t size,
                          uint32_t packedLastWrite, const FindData& findData, bool nameFitsCp932) {
  ListedFile file;
  const std::string path = *folder + name;
  file.folder = std::move(folder);
  file.fileName = name;
  file.size = size;
  file.packedLastWrite = packedLastWrite;
  file.attributes = findData.attributes;
  file.creationTime = findData.creationTime;
  file.lastAccessTime = findData.lastAccessTime;
  file.lastWriteTime = findData.lastWriteTime;

  auto encoded = nameFitsCp932 ? utf8ToCp932(path) : std::nullopt;
  if (!encoded) {
    file.problem = ListingProblem::NameNotCp932;
    file.unusual = std::make_shared<const ListedFile::Unusual>(
        ListedFile::Unusual{fitField(lossyCp932(path)), {}});
    return file;
  }
  if (encoded->size() > kMaxFieldText) {
    file.problem = ListingProblem::PathTooLong;
    file.unusual = std::make_shared<const ListedFile::Unusual>(
        ListedFile::Unusual{fitField(std::move(*encoded)), {}});
    return file;
  }
  if (*encoded != path) {
    file.unusual =
        std::make_shared<const ListedFile::Unusual>(ListedFile::Unusual{std::move(*encoded), {}});
  }
  if (size > kLargestStreamSize) file.problem = ListingProblem::TooLarge;
  return file;
}

sf_file2 ListedFile::entry() const {
  sf_file2 e;
  e.name = name();
  e.time = static_cast<double>(packedLastWrite);
  e.size = entrySize();
  e.attributes = attributes;
  FindData fd;
  fd.attributes = attributes;
  fd.creationTime = creationTime;
  fd.lastAccessTime = lastAccessTime;
  fd.lastWriteTime = lastWriteTime;
  fd.sizeHigh = static_cast<uint32_t>(size >> 32);
  fd.sizeLow = static_cast<uint32_t>(size);
  // The record's name is the file's own name: for a whole entry the tail of its name on
  // tape ('/' is never part of a CP932 character); for a cut or unwritable one it is made
  // from the listed name.
  if (problem == ListingProblem::None || problem == ListingProblem::TooLarge) {
    const size_t slash = e.name.rfind('/');
    fd.fileName = slash == std::string::npos ? e.name : e.name.substr(slash + 1);
  } else {
    auto encoded = problem == ListingProblem::PathTooLong ? utf8ToCp932(fileName) : std::nullopt;
    fd.fileName = encoded ? *encoded : lossyCp932(fileName);
  }
  e.finddata = encodeFindData(fd);
  return e;
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
  EntryExaminer examiner;
  searchFolder(fd, std::make_shared<const std::string>(folder), filelist, {unsearchable, leftOut},
               examiner);
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
  // The entry records the name the user gave, not the link's target.
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const bool fits = utf8ToCp932(name).has_value();
  findData.attributes &= ~FILE_ATTRIBUTE_HIDDEN;
  if (!name.empty() && name[0] == '.') findData.attributes |= FILE_ATTRIBUTE_HIDDEN;
  auto folder = std::make_shared<const std::string>(path.substr(0, path.size() - name.size()));
  filelist.push_back(
      makeListedFile(std::move(folder), name, info->size, info->packedLastWrite, findData, fits));
  if (target != path) {
    ListedFile& file = filelist.back();
    file.unusual = std::make_shared<const ListedFile::Unusual>(
        ListedFile::Unusual{file.unusual ? file.unusual->cp932Name : std::string(), target});
  }
  return true;
}

}  // namespace korv::jobs
