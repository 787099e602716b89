#include "jobs/restore_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "jobs/restore_path.h"
#include "jobs/run_guard.h"
#include "jobs/run_support.h"
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

  void closeFile() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
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

class RestoreRun {
 public:
  RestoreRun(TScsifile& sf, RunFaces& faces) : sf_(sf), faces_(faces), report_(faces, result_) {}
  RunResult run(Selection& selection, DestinationSource& destination);

 private:
  enum class Step { Next, EndRun };
  Step restoreEntry(const sf_file2& e, int32_t header, bool selected,
                    DestinationSource& destination);
  // Prepares the destination of a selected entry; false when it is not to be written.
  // Sets `endRun` when the destination folder itself cannot be made.
  bool prepareDestination(const sf_file2& e, DestinationSource& destination, bool& endRun);
  void finishFile(const sf_file2& e);

  TScsifile& sf_;
  RunFaces& faces_;
  RunResult result_;
  RunReporter report_;
  std::unique_ptr<ProgressSink> progress_;
  std::unique_ptr<uint8_t[]> buffer_;
  DestinationTree tree_;
  DestinationFile file_;
  std::string destinationPath_;
  float doneBytes_ = 0;
  int32_t doneCount_ = 0;
};

RunResult RestoreRun::run(Selection& selection, DestinationSource& destination) {
  if (destination.destination().empty()) {
    report_.warning("リストア先が指定されていません");
    return result_;
  }
  int32_t selectedCount = 0;
  float selectedBytes = 0;
  const auto& catalogue = sf_.Catalogue;
  for (size_t i = 0; i < catalogue.size(); ++i) {
    if (!selection.selected(i)) continue;
    ++selectedCount;
    selectedBytes += static_cast<float>(catalogue[i].size);
  }
  if (selectedCount == 0) {
    report_.warning("リストアするファイルが１個も指定されていません");
    return result_;
  }
  report_.clearLog();
  progress_ = openProgress(faces_.progress, kCaptionRestore);
  ProgressSink& p = *progress_;
  p.setallbyte(selectedBytes);
  p.setallcount(selectedCount);
  p.setcopycount(0);
  p.setcopybyte(0);
  p.setanimate(true);

  buffer_ = std::make_unique<uint8_t[]>(kBlockSize);
  for (size_t line = 0; line < catalogue.size(); ++line) {
    if (p.isabort()) {
      report_.warning("中断しました");
      result_.aborted = true;
      break;
    }
    if (doneCount_ == selectedCount) break;  // nothing selected is left to read
    uint8_t header[kHeaderSize];
    if (!sf_.TapeRead(header, kHeaderSize)) {
      report_.error("テープファイルヘッダーが読み込めませんでした");
      break;
    }
    const bool selected = selection.selected(line);
    if (restoreEntry(catalogue[line], decodeHeader(header), selected, destination) ==
        Step::EndRun) {
      break;
    }
  }

  p.setanimate(false);
  p.stopclock();
  if (!sf_.TapeRewind()) {
    report_.warning("巻き戻せませんでした");
    progress_.reset();
    result_.status = RunStatus::Ended;
    return result_;
  }
  report_.information("終了しました");
  progress_.reset();
  sf_.CloseSet();
  result_.status = RunStatus::Finished;
  return result_;
}

bool RestoreRun::prepareDestination(const sf_file2& e, DestinationSource& destination,
                                    bool& endRun) {
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
  const std::string folderText = destination.destination();
  std::error_code error;
  if (folderText.empty() || !tree_.openRoot(folderText, error)) {
    report_.error("ﾃﾞｨﾚｸﾄﾘを作成することができません");
    endRun = true;
    return false;
  }
  destinationPath_ = joinDestination(folderText, target.relative);
  std::error_code folderError;
  const int dirFd = tree_.openFolder(target.folders, folderError);
  progress_->setfilename(destinationPath_);

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
void RestoreRun::finishFile(const sf_file2& e) {
  const FindData recorded = decodeFindData(e.finddata);
  std::error_code error;
  bool ok = applyFileTimes(file_.fd(), recorded.lastAccessTime, recorded.lastWriteTime, error);
  if (ok && (recorded.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ok = applyReadOnly(file_.fd(), error);
  }
  if (!ok) report_.log("コピー先ファイル " + destinationPath_ + " は属性の変更が出来ませんでした");
  file_.closeFile();
}

RestoreRun::Step RestoreRun::restoreEntry(const sf_file2& e, int32_t header, bool selected,
                                          DestinationSource& destination) {
  ProgressSink& p = *progress_;
  if (header == kSkipHeader) {
    report_.log(cp932ToUtf8(e.name) + "はバックアップされていません");
    if (selected) {
      doneBytes_ += static_cast<float>(e.size);
      p.setcopybyte(doneBytes_);
      ++doneCount_;
      p.setcopycount(doneCount_);
    }
    return Step::Next;
  }
  bool writing = false;
  if (selected) {
    bool endRun = false;
    writing = prepareDestination(e, destination, endRun);
    if (endRun) return Step::EndRun;
  }
  if (header == 0) {
    // An empty file still gets its recorded times and read-only bit.
    if (writing) finishFile(e);
    if (selected) {
      ++doneCount_;
      p.setcopycount(doneCount_);
    }
    return Step::Next;
  }

  const auto fail = [&] {
    if (writing) {
      file_.closeAndDelete();
      report_.log("コピー先ファイル " + destinationPath_ + " は削除されました");
    }
    return Step::EndRun;
  };
  // A negative size (a file of 2 GiB or more written elsewhere) gives no block layout a
  // reader could follow.
  if (e.size < 0) {
    report_.error("読み込みエラーが発生しました");
    return fail();
  }
  const StreamLayout layout = streamLayout(e.size);
  for (int32_t block = 0; block < layout.fullBlocks; ++block) {
    if (p.isabort()) {
      report_.warning("中断しました");
      result_.aborted = true;
      return fail();
    }
    if (!sf_.TapeRead(buffer_.get(), kBlockSize)) {
      report_.error("読み込みエラーが発生しました");
      return fail();
    }
    if (writing && writeAll(file_.fd(), buffer_.get(), kBlockSize) < size_t{kBlockSize}) {
      report_.error("書き込みエラーが発生しました");
      return fail();
    }
    if (selected) {
      doneBytes_ += static_cast<float>(kBlockSize);
      p.setcopybyte(doneBytes_);
    }
  }
  if (layout.rest != 0 && !sf_.TapeRead(buffer_.get(), layout.rest)) {
    report_.error("読み込みエラーが発生しました");
    return fail();
  }
  if (writing) {
    const auto rest = static_cast<size_t>(layout.rest);
    if (writeAll(file_.fd(), buffer_.get(), rest) == rest) {
      finishFile(e);
    } else {
      file_.closeAndDelete();
      report_.log("コピー先ファイル " + destinationPath_ + " は削除されました");
    }
  }
  if (selected) {
    doneBytes_ += static_cast<float>(layout.rest);
    p.setcopybyte(doneBytes_);
    ++doneCount_;
    p.setcopycount(doneCount_);
  }
  return Step::Next;
}

}  // namespace

RunResult restoreRun(TScsifile& sf, Selection& selection, DestinationSource& destination,
                     RunFaces& faces) {
  RunGuard guard(sf);
  if (!guard.acquired()) return RunResult{};
  return RestoreRun(sf, faces).run(selection, destination);
}

}  // namespace korv::jobs
