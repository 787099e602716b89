#pragma once
// Where a catalogue entry lands on restore, and the opening of folders below the
// destination without ever leaving it.
//
// The path on tape is absolute: "/folder/name" from this system, "X:\folder\name" from
// Windows (CP932, where a trail byte can be 0x5C, so it is decoded before '\' is taken
// for a separator). The root is stripped and the rest is placed below the destination.
// A path with a ".." component, or nothing left after the root, is refused: the entry
// would land outside the destination, or nowhere.

#include <string>
#include <system_error>
#include <vector>

namespace korv::jobs {

struct RestoreTarget {
  enum class Refusal { None, ClimbsOut, Empty };
  Refusal refusal = Refusal::None;
  std::vector<std::string> folders;  // below the destination, outermost first (UTF-8)
  std::string fileName;              // the final component (UTF-8)
  std::string relative;              // folders and name joined with '/'
};

RestoreTarget mapRestorePath(const std::string& cp932Name);

// The destination path as shown: the folder text and the relative path with one '/'.
std::string joinDestination(const std::string& folderText, const std::string& relative);

// Folders below one destination folder, opened with openat one component at a time and
// never through a symbolic link, so a link planted in the tree cannot redirect a write.
class DestinationTree {
 public:
  DestinationTree() = default;
  ~DestinationTree();
  DestinationTree(const DestinationTree&) = delete;
  DestinationTree& operator=(const DestinationTree&) = delete;

  // Opens the destination folder (the user's own choice, so a link there is followed),
  // creating it with its missing ancestors. Kept open while the text stays the same.
  bool openRoot(const std::string& folderText, std::error_code& error);

  // The folder `folders` below the root, each missing one created; -1 with `error` set
  // when one cannot be created or is not a real folder. The descriptor stays owned here
  // and is valid until the next call.
  int openFolder(const std::vector<std::string>& folders, std::error_code& error);

 private:
  void dropCachedFolder();
  std::string rootText_;
  int rootFd_ = -1;
  std::vector<std::string> cachedFolders_;
  int cachedFd_ = -1;
};

}  // namespace korv::jobs
