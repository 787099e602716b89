#pragma once
// The file a restore writes: a new file beside its final name, which takes that name only
// once every byte is written and closed. Until then whatever stood at the final name stays
// as it was: a restore that fails part-way leaves the previous copy, and a hard or symbolic
// link there is replaced as a directory entry, never written through.

#include <sys/stat.h>

#include <functional>
#include <string>

namespace korv::jobs {

class DestinationFile {
 public:
  DestinationFile() = default;
  ~DestinationFile() { discard(); }
  DestinationFile(const DestinationFile&) = delete;
  DestinationFile& operator=(const DestinationFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Creates the new file in the folder `dirFd` for the final name `name`. `existing` is
  // what stands at the final name now, null when nothing is known to: what turns up there
  // is met at commit, and a folder, FIFO, socket or device is refused either way (EISDIR,
  // EEXIST). Returns errno on failure, else 0.
  int create(int dirFd, const std::string& name, const struct stat* existing);

  // Whether what stands at the final name when the file is named stays there.
  using Stays = std::function<bool(const struct stat&)>;

  enum class Commit { Done, CloseFailed, RenameFailed, NameKept };
  // Closes the complete file and gives it its final name. A write refused only at close
  // (a full or vanished network disk) or a refused rename drops the new file and leaves
  // the final name untouched; `error` gets the errno. When `stays` is given and says that
  // what stands at the name then (also what came there while the file was written) stays,
  // the new file is dropped instead: NameKept.
  Commit commit(int& error, const Stays& stays = nullptr);

  // Drops an unfinished file; the final name was never touched.
  void discard();

 private:
  static constexpr int kNameAttempts = 16;
  // Why what stands at the final name now may not be replaced: an errno, -1 when `stays`
  // keeps it, 0 when it may be replaced.
  int refusalAtName(const Stays& stays) const;
  // Gives the unnamed file the name `name` in the folder; false with errno set.
  bool linkTo(const char* name);
  // Gives the unnamed file a temporary name; false with errno set.
  bool nameTemporarily();

  int fd_ = -1;
  int dirFd_ = -1;
  bool unnamed_ = false;  // made with O_TMPFILE: no name until it is complete
  std::string name_;
  std::string temporary_;
};

}  // namespace korv::jobs
