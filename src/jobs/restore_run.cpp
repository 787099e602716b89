#include "jobs/restore_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "jobs/restore_path.h"
#include "jobs/run_guard.h"
#include "jobs/run_support.h"
#include "jobs/stream_reading.h"
#include "sys/cp932.h"
#include "sys/datetime.h"
#include "sys/file_info.h"
#include "tape/datastream.h"

namespace korv::jobs {
namespace {

// Writes all `length` bytes, continuing after short writes; the bytes written.
size_t writeAll(int fd, const uint8_t* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = write(fd, data + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  return done;
}

// The file being written: a new temporary file beside the final name, which takes that
// name only once every byte is written and closed. Until then whatever stood at the final
// name stays as it was: a restore that fails part-way leaves the previous copy, and a
// hard or symbolic link there is replaced as a directory entry, never written through.
class DestinationFile {
 public:
  ~DestinationFile() { discard(); }
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Creates the temporary file in the folder `dirFd` for the final name `name`.
  // `existing` is what stands at the final name now (null when nothing does). Returns
  // errno on failure, else 0.
  int create(int dirFd, const std::string& name, const struct stat* existing) {
    if (existing != nullptr && S_ISDIR(existing->st_mode)) return EISDIR;
    if (existing != nullptr && !S_ISREG(existing->st_mode) && !S_ISLNK(existing->st_mode)) {
      return EEXIST;  // a FIFO, socket or device is not a file this run replaces
    }
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

  enum class Commit { Done, CloseFailed, RenameFailed };
  // Closes the complete file and gives it its final name. A write refused only at close
  // (a full or vanished network disk) or a refused rename drops the temporary file and
  // leaves the final name untouched; `error` gets the errno.
  Commit commit(int& error) {
    if (unnamed_) {
      unnamed_ = false;
      char link[40];
      std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd_);
      if (linkat(AT_FDCWD, link, dirFd_, name_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        const bool closed = close(fd_) == 0;
        error = errno;
        fd_ = -1;
        if (closed) return Commit::Done;
        unlinkat(dirFd_, name_.c_str(), 0);  // nothing stood there before
        return Commit::CloseFailed;
      }
      // Something took the name meanwhile: it is replaced as any existing file is.
      if (errno != EEXIST || !nameTemporarily(link)) {
        error = errno;
        discard();
        return Commit::RenameFailed;
      }
    }
    const bool closed = close(fd_) == 0;
    error = errno;
    fd_ = -1;
    if (closed && renameat(dirFd_, temporary_.c_str(), dirFd_, name_.c_str()) == 0) {
      temporary_.clear();
      return Commit::Done;
    }
    if (closed) error = errno;
    unlinkat(dirFd_, temporary_.c_str(), 0);
    temporary_.clear();
    return closed ? Commit::RenameFailed : Commit::CloseFailed;
  }

  // Drops an unfinished file; the final name was never touched.
  void discard() {
    if (fd_ >= 0) close(fd_);  // an unnamed file vanishes with it
    fd_ = -1;
    unnamed_ = false;
    if (!temporary_.empty()) unlinkat(dirFd_, temporary_.c_str(), 0);
    temporary_.clear();
  }

 private:
  static constexpr int kNameAttempts = 16;
  // Hidden, short whatever the final name's length, and unlikely to meet another's.
  static std::string temporaryName() {
    static std::mt19937_64 random{std::random_device{}()};
    char text[40];
    std::snprintf(text, sizeof text, ".korvessian-%016llx.tmp",
                  static_cast<unsigned long long>(random()));
    return text;
  }

  static bool procFdUsable() {
    static const bool usable = access("/proc/self/fd", X_OK) == 0;
    return usable;
  }

  // Gives the unnamed file at `link` a temporary name; false with errno set.
  bool nameTemporarily(const char* link) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      const std::string temporary = temporaryName();
      if (linkat(AT_FDCWD, link, dirFd_, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temporary_ = temporary;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  int fd_ = -1;
  int dirFd_ = -1;
  bool unnamed_ = false;  // made with O_TMPFILE: no name until it is complete
  std::string name_;
  std::string temporary_;
};

// Writes each selected file below the destination folder as its stream is read, and
// gives it its recorded times and read-only bit once complete; a file that cannot be
// completed is deleted.
class RestoreRun : public StreamSink {
 public:
  RestoreRun(TScsifile& sf, RunFaces& faces, DestinationSource& destination)
      : sf_(sf), faces_(faces), destination_(destination), report_(faces, result_) {}
  RunResult run(Selection& selection);

  bool begin(const sf_file2& e, bool selected, ProgressSink& progress) override;
  bool block(const uint8_t* data) override;
  void end(const sf_file2& e, const uint8_t* data, size_t length) override;
  void broken() override;
  bool kept() const override { return kept_; }

 private:
  // Prepares the destination of a selected entry; false when it is not to be written.
  // Sets `endRun` when the destination folder itself cannot be made.
  bool prepareDestination(const sf_file2& e, ProgressSink& progress, bool& endRun);
  bool finishFile(const sf_file2& e);
  void deleteFile();

  TScsifile& sf_;
  RunFaces& faces_;
  DestinationSource& destination_;
  RunResult result_;
  RunReporter report_;
  DestinationTree tree_;
  DestinationFile file_;
  std::string destinationPath_;
  bool writing_ = false;  // the current entry goes to file_
  bool kept_ = false;     // the last entry was restored
};

RunResult RestoreRun::run(Selection& selection) {
  if (destination_.destination().empty()) {
    report_.warning("リストア先が指定されていません");
    return result_;
  }
  if (readSetStreams(sf_, selection, faces_, report_, result_,
                     {kCaptionRestore, "リストアするファイルが１個も指定されていません",
                      "テープファイルヘッダーが読み込めませんでした"},
                     *this)) {
    sf_.CloseSet();
  }
  return result_;
}

bool RestoreRun::prepareDestination(const sf_file2& e, ProgressSink& progress, bool& endRun) {
  const std::string shownName = cp932ToUtf8(e.name);
  const RestoreTarget target = mapRestorePath(e.name);
  if (target.refusal == RestoreTarget::Refusal::ClimbsOut) {
    report_.log(shownName + " はリストア先の外を指しているのでリストアしません．");
    return false;
  }
  if (target.refusal == RestoreTarget::Refusal::Empty) {
    report_.log(shownName + " はファイル名が無いのでリストアしません．");
    return false;
  }
  // The folder text is read now: a change during the run applies to what is still written.
  const std::string folderText = destination_.destination();
  std::error_code error;
  if (folderText.empty() || !tree_.openRoot(folderText, error)) {
    report_.error("ﾃﾞｨﾚｸﾄﾘを作成することができません");
    endRun = true;
    return false;
  }
  destinationPath_ = joinDestination(folderText, target.relative);
  std::error_code folderError;
  const int dirFd = tree_.openFolder(target.folders, folderError);
  progress.setfilename(destinationPath_);

  struct stat st {};
  const bool present =
      dirFd >= 0 && fstatat(dirFd, target.fileName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (present && !S_ISDIR(st.st_mode)) {
    bool write = true;
    if (faces_.options.namecheck) {
      report_.log(destinationPath_ + " はリストア先に存在するのでリストアしません．");
      write = false;
    } else if (faces_.options.timecheck &&
               static_cast<double>(packDosDateTime(st.st_mtim.tv_sec)) > e.time) {
      report_.log(destinationPath_ + " はバックアップ時より新しくなっているのでリストアしません．");
      write = false;
    }
    // "Archive alone": a read-only file that stays is made writable again (one that is
    // written is replaced by a new file anyway). Never through a link, nor on a file with
    // other names: its mode is also theirs, possibly outside the destination.
    if (!write && S_ISREG(st.st_mode) && st.st_nlink == 1 && (st.st_mode & S_IWUSR) == 0) {
      const mode_t mode = (st.st_mode & 07777) | S_IWUSR;
      if (fchmodat(dirFd, target.fileName.c_str(), mode, AT_SYMLINK_NOFOLLOW) != 0 &&
          errno == ENOTSUP) {
        fchmodat(dirFd, target.fileName.c_str(), mode, 0);  // no /proc: checked a file above
      }
    }
    if (!write) return false;
  }
  const int failure = dirFd < 0 ? folderError.value()
                                : file_.create(dirFd, target.fileName, present ? &st : nullptr);
  if (failure != 0) {
    report_.log(destinationPath_ + " は新規作成出来ませんでした(" + std::to_string(failure) + ")");
    return false;
  }
  return true;
}

// Puts the recorded times and the read-only bit on the finished file, then closes it.
// False when it had to be deleted.
bool RestoreRun::finishFile(const sf_file2& e) {
  const FindData recorded = decodeFindData(e.finddata);
  std::error_code error;
  bool ok = applyFileTimes(file_.fd(), recorded.lastAccessTime, recorded.lastWriteTime, error);
  if (ok && (recorded.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ok = applyReadOnly(file_.fd(), error);
  }
  if (!ok) report_.log("コピー先ファイル " + destinationPath_ + " は属性の変更が出来ませんでした");
  // A write refused only at close leaves the file short of its data: it goes like any
  // partial file. Either way the previous copy stays.
  int commitError = 0;
  switch (file_.commit(commitError)) {
    case DestinationFile::Commit::Done:
      return true;
    case DestinationFile::Commit::CloseFailed:
      report_.log("コピー先ファイル " + destinationPath_ + " は削除されました");
      break;
    case DestinationFile::Commit::RenameFailed:
      report_.log(destinationPath_ + " は新規作成出来ませんでした(" + std::to_string(commitError) +
                  ")");
      break;
  }
  return false;
}

bool RestoreRun::begin(const sf_file2& e, bool selected, ProgressSink& progress) {
  writing_ = false;
  if (!selected) return true;
  bool endRun = false;
  writing_ = prepareDestination(e, progress, endRun);
  return !endRun;
}

bool RestoreRun::block(const uint8_t* data) {
  if (writing_ && writeAll(file_.fd(), data, kBlockSize) < size_t{kBlockSize}) {
    report_.error("書き込みエラーが発生しました");
    return false;
  }
  return true;
}

// An empty file too gets its recorded times and read-only bit.
void RestoreRun::end(const sf_file2& e, const uint8_t* data, size_t length) {
  kept_ = false;
  if (!writing_) return;
  writing_ = false;
  if (writeAll(file_.fd(), data, length) == length) {
    kept_ = finishFile(e);
  } else {
    deleteFile();
  }
}

void RestoreRun::broken() {
  if (!writing_) return;
  writing_ = false;
  deleteFile();
}

void RestoreRun::deleteFile() {
  file_.discard();
  report_.log("コピー先ファイル " + destinationPath_ + " は削除されました");
}

}  // namespace

RunResult restoreRun(TScsifile& sf, Selection& selection, DestinationSource& destination,
                     RunFaces& faces) {
  RunGuard guard(sf);
  if (!guard.acquired()) return RunResult{};
  return RestoreRun(sf, faces, destination).run(selection);
}

}  // namespace korv::jobs
