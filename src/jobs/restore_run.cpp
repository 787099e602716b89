#include "jobs/restore_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

// The file being written: created inside its folder, closed on every path, and deleted
// when it could not be completed.
class DestinationFile {
 public:
  ~DestinationFile() { closeFile(); }
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Creates (or truncates) `name` in the folder `dirFd`, never through a symbolic link
  // and never opening anything but a regular file. `existing` is what stands there now
  // (null when nothing does). Returns errno on failure, else 0.
  int create(int dirFd, const std::string& name, const struct stat* existing) {
    if (existing != nullptr && !S_ISREG(existing->st_mode) && !S_ISDIR(existing->st_mode) &&
        !S_ISLNK(existing->st_mode)) {
      return EEXIST;  // a FIFO, socket or device: opening it could block or do harm
    }
    struct stat st {};
    const int fd =
        openat(dirFd, name.c_str(),
               O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return EEXIST;
    }
    fd_ = fd;
    dirFd_ = dirFd;
    name_ = name;
    return 0;
  }

  // False when the file system reports at close a write it could not complete.
  bool closeFile() {
    const bool closed = fd_ < 0 || close(fd_) == 0;
    fd_ = -1;
    return closed;
  }

  void closeAndDelete() {
    closeFile();
    unlinkat(dirFd_, name_.c_str(), 0);
  }

 private:
  int fd_ = -1;
  int dirFd_ = -1;
  std::string name_;
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
    // "Archive alone": a read-only file is made writable again, written or not. Never
    // through a link.
    if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
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
  // A write refused only at close (a full or vanished network disk) leaves the file short
  // of its data: it goes like any partial file.
  if (file_.closeFile()) return true;
  deleteFile();
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
  file_.closeAndDelete();
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
