#include "jobs/restore_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "jobs/destination_file.h"
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

}  // namespace

struct RestoreWriter::Step {
  using Kind = StepKind;
  Kind kind = Kind::Start;
  FileStart file;    // Start
  std::string text;  // Note
  size_t length = 0;
  int32_t fileSize = 0;  // End: the size the run counted
  std::unique_ptr<uint8_t[]> buffer;
  size_t room = 0;  // of buffer

  uint8_t* reserve(size_t bytes) {
    if (bytes > room) {
      // Whole pages, so a slot does not regrow for every slightly larger small file.
      room = std::min<size_t>((bytes + 4095) & ~size_t{4095}, kBlockSize);
      buffer = std::make_unique<uint8_t[]>(room);
    }
    return buffer.get();
  }
};

// The file-system side of one file after another: what the run used to do at each step.
class RestoreWriter::FileWork {
 public:
  // Does one step; true when it ends the run.
  bool perform(Step& step, std::vector<RestoreNote>& notes, std::vector<RestoreOutcome>& outcomes);

 private:
  void log(const std::string& text) { notes_->push_back({RestoreNote::Kind::Log, text}); }
  void error(const std::string& text) { notes_->push_back({RestoreNote::Kind::Error, text}); }
  // Whether what stands at the file's destination stays there (the existing-file options);
  // the log says why when it does.
  bool existingStays(const FileStart& file, const struct stat& st);
  // Prepares the destination; false when the file is not to be written. Sets `endRun`
  // when the destination folder itself cannot be made.
  bool prepare(const FileStart& file, bool& endRun);
  // Puts the recorded times and the read-only bit on the finished file and gives it its
  // name; false when it had to be dropped.
  bool finish();
  void drop();

  std::vector<RestoreNote>* notes_ = nullptr;
  DestinationTree tree_;
  DestinationFile file_;
  FileStart current_;
  bool writing_ = false;  // the current file goes to file_
};

bool RestoreWriter::FileWork::perform(Step& step, std::vector<RestoreNote>& notes,
                                      std::vector<RestoreOutcome>& outcomes) {
  notes_ = &notes;
  switch (step.kind) {
    case Step::Kind::Start: {
      current_ = std::move(step.file);
      bool endRun = false;
      writing_ = prepare(current_, endRun);
      return endRun;
    }
    case Step::Kind::Block:
      if (writing_ && writeAll(file_.fd(), step.buffer.get(), kBlockSize) < size_t{kBlockSize}) {
        writing_ = false;
        error("書き込みエラーが発生しました");
        drop();
        return true;
      }
      return false;
    case Step::Kind::End: {
      // An empty file too gets its recorded times and read-only bit.
      bool kept = false;
      if (writing_) {
        writing_ = false;
        if (writeAll(file_.fd(), step.buffer.get(), step.length) == step.length) {
          kept = finish();
        } else {
          drop();
        }
      }
      outcomes.push_back(
          {kept ? RestoreOutcome::Kind::Kept : RestoreOutcome::Kind::Dropped, step.fileSize});
      return false;
    }
    case Step::Kind::Note:
      log(step.text);
      return false;
    case Step::Kind::Broken:
      if (writing_) {
        writing_ = false;
        drop();
      }
      return false;
  }
  return false;
}

bool RestoreWriter::FileWork::existingStays(const FileStart& file, const struct stat& st) {
  if (file.namecheck) {
    log(file.shownPath + " はリストア先に存在するのでリストアしません．");
    return true;
  }
  if (file.timecheck &&
      static_cast<double>(packDosDateTime(st.st_mtim.tv_sec)) > file.recordedTime) {
    log(file.shownPath + " はバックアップ時より新しくなっているのでリストアしません．");
    return true;
  }
  return false;
}

bool RestoreWriter::FileWork::prepare(const FileStart& file, bool& endRun) {
  std::error_code error;
  if (file.folderText.empty() || !tree_.openRoot(file.folderText, error)) {
    this->error("ﾃﾞｨﾚｸﾄﾘを作成することができません");
    endRun = true;
    return false;
  }
  const RestoreTarget& target = file.target;
  std::error_code folderError;
  const int dirFd = tree_.openFolder(target.folders, folderError);

  // What stands at the name is looked up first only when an option asks about it; else
  // the file is made unnamed and meets whatever has its name when it is linked.
  struct stat st {};
  const bool present = (file.namecheck || file.timecheck) && dirFd >= 0 &&
                       fstatat(dirFd, target.fileName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (present && !S_ISDIR(st.st_mode)) {
    const bool write = !existingStays(file, st);
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
    log(file.shownPath + " は新規作成出来ませんでした(" + std::to_string(failure) + ")");
    return false;
  }
  return true;
}

bool RestoreWriter::FileWork::finish() {
  const FindData recorded = decodeFindData(current_.finddata);
  std::error_code error;
  bool ok = applyFileTimes(file_.fd(), recorded.lastAccessTime, recorded.lastWriteTime, error);
  if (ok && (recorded.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ok = applyReadOnly(file_.fd(), error);
  }
  if (!ok) log("コピー先ファイル " + current_.shownPath + " は属性の変更が出来ませんでした");
  // A write refused only at close leaves the file short of its data: it goes like any
  // partial file. Either way the previous copy stays.
  // The options that keep an existing file also keep one that came to its name while this
  // one was written.
  DestinationFile::Stays stays;
  if (current_.namecheck || current_.timecheck) {
    stays = [this](const struct stat& st) { return existingStays(current_, st); };
  }
  int commitError = 0;
  switch (file_.commit(commitError, stays)) {
    case DestinationFile::Commit::Done:
      return true;
    case DestinationFile::Commit::NameKept:
      break;
    case DestinationFile::Commit::CloseFailed:
      log("コピー先ファイル " + current_.shownPath + " は削除されました");
      break;
    case DestinationFile::Commit::RenameFailed:
      log(current_.shownPath + " は新規作成出来ませんでした(" + std::to_string(commitError) + ")");
      break;
  }
  return false;
}

void RestoreWriter::FileWork::drop() {
  file_.discard();
  log("コピー先ファイル " + current_.shownPath + " は削除されました");
}

RestoreWriter::RestoreWriter(size_t ringSteps)
    : ring_(std::max<size_t>(ringSteps, 2)), work_(std::make_unique<FileWork>()) {
  writer_ = std::thread([this] { writerLoop(); });
}

RestoreWriter::~RestoreWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  posted_.notify_all();
  writer_.join();
}

namespace {
// Either side is woken once half the ring is ready for it: one wake-up per batch of steps.
size_t batchOf(size_t capacity) {
  return std::max<size_t>(capacity / 2, 1);
}
}  // namespace

RestoreWriter::Step& RestoreWriter::claim(size_t length) {
  const size_t capacity = ring_.size();
  if (!claimed_) {
    std::unique_lock lock(mutex_);
    if (count_ == capacity) {
      runWaits_ = true;
      freed_.wait(lock, [&] { return capacity - count_ >= batchOf(capacity); });
      runWaits_ = false;
    }
    claimed_ = true;
    claimedAt_ = (headAt_ + count_) % capacity;
  }
  // The slot past the handed-over ones is the run's alone until it is posted.
  Step& step = ring_[claimedAt_];
  step.reserve(length);
  return step;
}

void RestoreWriter::post() {
  std::lock_guard lock(mutex_);
  claimed_ = false;
  ++count_;
  if (writerWaits_ && count_ >= batchOf(ring_.size())) posted_.notify_all();
}

uint8_t* RestoreWriter::blockBuffer(size_t length) {
  return claim(length).buffer.get();
}

void RestoreWriter::start(FileStart file) {
  Step& step = claim();
  step.kind = Step::Kind::Start;
  fileSize_ = file.size;
  step.file = std::move(file);
  post();
}

void RestoreWriter::block(const uint8_t* data) {
  hand(StepKind::Block, data, kBlockSize);
}

void RestoreWriter::end(const uint8_t* data, size_t length) {
  hand(StepKind::End, data, length);
}

void RestoreWriter::hand(StepKind kind, const uint8_t* data, size_t length) {
  Step& step = claim(length);
  step.kind = kind;
  step.length = length;
  step.fileSize = fileSize_;
  if (data != step.buffer.get() && length > 0) std::memcpy(step.buffer.get(), data, length);
  post();
}

void RestoreWriter::note(std::string text) {
  Step& step = claim();
  step.kind = Step::Kind::Note;
  step.text = std::move(text);
  post();
}

void RestoreWriter::broken() {
  Step& step = claim();
  step.kind = Step::Kind::Broken;
  post();
}

void RestoreWriter::settle() {
  std::unique_lock lock(mutex_);
  if (count_ == 0) return;
  flushing_ = true;
  posted_.notify_all();
  runWaits_ = true;
  freed_.wait(lock, [&] { return count_ == 0; });
  runWaits_ = false;
  flushing_ = false;
}

bool RestoreWriter::ended() {
  std::lock_guard lock(mutex_);
  return ended_;
}

void RestoreWriter::take(std::vector<RestoreNote>& notes, std::vector<RestoreOutcome>& outcomes) {
  std::lock_guard lock(mutex_);
  notes.swap(notes_);
  outcomes.swap(outcomes_);
  notes_.clear();
  outcomes_.clear();
}

void RestoreWriter::writerLoop() {
  const size_t capacity = ring_.size();
  const size_t batch = batchOf(capacity);
  std::vector<RestoreNote> notes;
  std::vector<RestoreOutcome> outcomes;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (stopping_) return;
    // Once awake, the writer works the ring empty before it sleeps again.
    if (count_ == 0) {
      writerWaits_ = true;
      posted_.wait(lock, [&] { return stopping_ || count_ >= batch || (flushing_ && count_ > 0); });
      writerWaits_ = false;
      continue;
    }
    Step& step = ring_[headAt_];
    const bool ended = ended_;
    lock.unlock();
    bool endsRun = false;
    if (!ended) {
      endsRun = work_->perform(step, notes, outcomes);
    } else if (step.kind == Step::Kind::End) {
      outcomes.push_back({RestoreOutcome::Kind::Abandoned, step.fileSize});
    }
    lock.lock();
    if (endsRun) ended_ = true;
    notes_.insert(notes_.end(), std::make_move_iterator(notes.begin()),
                  std::make_move_iterator(notes.end()));
    outcomes_.insert(outcomes_.end(), outcomes.begin(), outcomes.end());
    notes.clear();
    outcomes.clear();
    headAt_ = (headAt_ + 1) % capacity;
    --count_;
    if (runWaits_ && (count_ == 0 || capacity - count_ >= batch)) freed_.notify_all();
  }
}

}  // namespace korv::jobs
