#include "jobs/backup_run.h"

#include <algorithm>
#include <memory>

#include "jobs/run_guard.h"
#include "jobs/run_support.h"
#include "jobs/set_append.h"
#include "jobs/source_reader.h"
#include "jobs/tape_failure.h"
#include "jobs/tape_full.h"
#include "scsi/command_failure.h"
#include "sys/cp932.h"
#include "tape/datastream.h"
#include "tape/records.h"

namespace korv::jobs {
namespace {

constexpr const char* kMountFailed =
    "マウントが出来ません．以下の可能性があります．\r"
    "　・テープが入っていない\r"
    "　・書き込み禁止になっている\r"
    "　・他のシステムで使用しているテープである\r"
    "　・テープの空きがない\r"
    "　・新品のテープであり，フォーマットしていない";

class BackupRun {
 public:
  BackupRun(TScsifile& sf, RunFaces& faces, size_t readAheadBlocks)
      : sf_(sf), faces_(faces), report_(faces, result_), readAheadBlocks_(readAheadBlocks) {}
  RunResult run(const FileList& filelist, Selection& selection, const std::string& setName,
                const LeftOutList& leftOut);

 private:
  // MediumFull: the file is on tape in full, but the early warning came with it.
  enum class Step { Next, LeaveLoop, MediumFull };
  // Done: recorded. DoneAtEnd: recorded at the early warning. NoRoom: the medium ended
  // before it. Failed: any other failure.
  enum class Write { Done, DoneAtEnd, NoRoom, Failed };
  Step backUpFile(size_t index, const ListedFile& item, const sf_file2& e);
  Step skipFile(const std::string& path, const sf_file2& e);
  Write write(const uint8_t* data, int32_t length);
  Step tapeFull(const std::string& path);
  Write padStream(const ListedFile& item, const SourceReader::Block& block, uint64_t& remaining);
  void finish();

  TScsifile& sf_;
  RunFaces& faces_;
  RunResult result_;
  RunReporter report_;
  std::unique_ptr<ProgressSink> progress_;
  size_t readAheadBlocks_;
  std::unique_ptr<SourceReader> reader_;
  std::unique_ptr<uint8_t[]> zeros_;  // the padding of a file that gave out
  ProgressFigures figures_;
  std::string name_;  // the set's name on tape (CP932)
  int32_t setNumber_ = 0;
};

RunResult BackupRun::run(const FileList& filelist, Selection& selection, const std::string& setName,
                         const LeftOutList& leftOut) {
  // Preconditions.
  int32_t selected = 0;
  for (size_t i = 0; i < filelist.size(); ++i) selected += selection.selected(i) ? 1 : 0;
  if (selected == 0) {
    report_.warning("ファイルが１個も選択されていません");
    return result_;
  }
  if (setName.empty()) {
    report_.warning("バックアップセット名が指定されていません");
    return result_;
  }
  // The name field holds 255 bytes and a zero byte; a name that does not fit, or that
  // CP932 cannot write, is refused rather than cut.
  const auto name = utf8ToCp932(setName);
  if (!name) {
    report_.warning("バックアップセット名にShift-JISで表せない文字が含まれています");
    return result_;
  }
  if (!fitsTextField(*name)) {
    report_.warning("バックアップセット名が長すぎます");
    return result_;
  }
  std::string tapeName;
  if (!sf_.MountVolume(tapeName)) {
    result_.status = RunStatus::Failed;
    return result_;
  }

  // The catalogue: the selected entries in list order, as they were listed.
  report_.clearLog();
  for (const auto& entry : leftOut) faces_.log.add(leftOutLine(entry));
  sf_.Catalogue.clear();
  std::vector<const ListedFile*> items;
  items.reserve(static_cast<size_t>(selected));
  sf_.Catalogue.reserve(static_cast<size_t>(selected));
  for (size_t i = 0; i < filelist.size(); ++i) {
    if (!selection.selected(i)) continue;
    sf_.Catalogue.push_back(filelist[i].entry());
    items.push_back(&filelist[i]);
  }

  progress_ = openProgress(faces_.progress, kCaptionBackup);
  name_ = *name;
  if (!openNewSet(sf_, name_, report_, setNumber_)) {
    report_.error(kMountFailed);
    progress_.reset();
    result_.status = RunStatus::Failed;
    return result_;
  }

  const auto n = static_cast<int32_t>(sf_.Catalogue.size());
  float totalBytes = 0;
  for (const auto& e : sf_.Catalogue) totalBytes += static_cast<float>(e.size);
  ProgressSink& p = *progress_;
  figures_.start(p, totalBytes, n);

  std::vector<SourceReader::Source> sources;
  sources.reserve(items.size());
  for (const ListedFile* item : items) {
    sources.push_back({item->problem == ListingProblem::None ? item : nullptr});
  }
  reader_ = std::make_unique<SourceReader>(std::move(sources), readAheadBlocks_);
  // The abort check runs before every entry and once more after the last one.
  for (int32_t i = 0;; ++i) {
    if (p.isabort()) {
      report_.warning("中断しました");
      result_.aborted = true;
      break;
    }
    if (i == n) break;
    const Step step = backUpFile(static_cast<size_t>(i), *items[i], sf_.Catalogue[i]);
    if (step == Step::LeaveLoop) break;
    // The medium took this file but warns that it ends soon: nothing more is begun.
    if (step == Step::MediumFull && i + 1 < n) {
      tapeFull(items[i + 1]->path());
      break;
    }
  }
  reader_.reset();  // nothing more is read once the loop is left
  finish();
  return result_;
}

BackupRun::Write BackupRun::write(const uint8_t* data, int32_t length) {
  if (sf_.TapeWrite(data, length)) return Write::Done;
  switch (mediumEndOf(sf_.AspiRequest)) {
    case MediumEnd::EarlyWarning:
      return Write::DoneAtEnd;
    case MediumEnd::EndOfMedium:
      return Write::NoRoom;
    case MediumEnd::None:
      break;
  }
  return Write::Failed;
}

BackupRun::Step BackupRun::tapeFull(const std::string& path) {
  // A write the drive refused keeps its cause in the log, as any failed write does (on an
  // image it may be the disk that is full); an early warning refused nothing.
  if (mediumEndOf(sf_.AspiRequest) == MediumEnd::EndOfMedium) {
    const std::string cause = tapeFailureCause(sf_);
    if (!cause.empty()) report_.log(cause);
  }
  report_.error(tapeFullMessage(path));
  result_.tapeFull = true;
  return Step::LeaveLoop;
}

BackupRun::Step BackupRun::skipFile(const std::string& path, const sf_file2& e) {
  figures_.addBytes(static_cast<float>(e.size));
  figures_.addFile();
  ++result_.filesSkipped;
  uint8_t header[kHeaderSize];
  encodeHeader(kSkipHeader, header);
  switch (write(header, kHeaderSize)) {
    case Write::Done:
      return Step::Next;
    case Write::DoneAtEnd:
      return Step::MediumFull;
    case Write::NoRoom:
      return tapeFull(path);
    case Write::Failed:
      break;
  }
  report_.error("ファイルスキップ用のヘッダーが書けませんでした");
  return Step::LeaveLoop;
}

BackupRun::Step BackupRun::backUpFile(size_t index, const ListedFile& item, const sf_file2& e) {
  ProgressSink& p = *progress_;
  const std::string path = item.path();
  p.setfilename(path);

  if (item.problem != ListingProblem::None) {
    report_.log(listingProblemLine(path, item.problem));
    return skipFile(path, e);
  }
  switch (reader_->open(index)) {
    case SourceReader::Opening::Failed:
      report_.log(path + "はオープンできませんでした");
      return skipFile(path, e);
    case SourceReader::Opening::SizeChanged:
      report_.log(path + "はファイルサイズが変化した為" + "バックアップしません");
      return skipFile(path, e);
    case SourceReader::Opening::Opened:
      break;
  }

  uint8_t header[kHeaderSize];
  encodeHeader(e.size, header);
  const Write headerWrite = write(header, kHeaderSize);
  if (headerWrite == Write::Failed) {
    report_.error("ファイルのヘッダーが書けませんでした");
    return Step::LeaveLoop;
  }
  if (headerWrite == Write::NoRoom || (headerWrite == Write::DoneAtEnd && item.size > 0))
    return tapeFull(path);
  Write lastWrite = headerWrite;
  // Exactly the recorded size goes to tape, in the blocks the layout prescribes: a file
  // that grew is stored as it was listed; one that shrank or stopped reading has the rest
  // of its stream filled with zero bytes, so one damaged file costs none after it.
  bool writeState = true;
  uint64_t remaining = item.size;
  while (remaining > 0) {
    const size_t want = remaining < kBlockSize ? static_cast<size_t>(remaining) : kBlockSize;
    const SourceReader::Block block = reader_->block();
    if (block.length < want) {
      lastWrite = padStream(item, block, remaining);
      reader_->release();
      writeState = lastWrite == Write::Done || lastWrite == Write::DoneAtEnd;
      break;
    }
    lastWrite = write(block.data, static_cast<int32_t>(want));
    reader_->release();
    writeState = lastWrite == Write::Done || lastWrite == Write::DoneAtEnd;
    figures_.addBytes(static_cast<float>(want));
    if (lastWrite != Write::NoRoom) remaining -= want;
    if (p.isabort() || lastWrite != Write::Done) break;
  }
  // A block the early warning came with is on tape; the rest of the file is not.
  if (lastWrite == Write::NoRoom || (lastWrite == Write::DoneAtEnd && remaining > 0))
    return tapeFull(path);
  if (!writeState) {
    const std::string cause = tapeFailureCause(sf_);
    if (!cause.empty()) report_.log(cause);
    report_.error("書き込みエラーが発生しました");
    return Step::LeaveLoop;
  }
  figures_.addFile();
  if (remaining == 0) {  // not a file an abort cut short, padded or not
    ++result_.filesDone;
    result_.bytesDone += item.size;
  }
  return lastWrite == Write::DoneAtEnd ? Step::MediumFull : Step::Next;
}

// Writes the rest of a stream whose file gave out: the block as far as it was read, zero
// bytes after, then whole blocks of zero bytes. The log names the file.
BackupRun::Write BackupRun::padStream(const ListedFile& item, const SourceReader::Block& block,
                                      uint64_t& remaining) {
  report_.log(item.path() + (block.readFailed
                                 ? "は途中で読み込めなくなった為，残りを0で埋めました"
                                 : "は読み込み中に小さくなった為，残りを0で埋めました"));
  size_t want = remaining < kBlockSize ? static_cast<size_t>(remaining) : kBlockSize;
  const uint8_t* data = block.data;
  for (;;) {
    const Write written = write(data, static_cast<int32_t>(want));
    if (written == Write::NoRoom || written == Write::Failed) return written;
    figures_.addBytes(static_cast<float>(want));
    remaining -= want;
    // An abort stops the padding as it stops the data; the next entry's check reports it.
    if (remaining == 0 || written == Write::DoneAtEnd || progress_->isabort()) return written;
    if (!zeros_) zeros_ = std::make_unique<uint8_t[]>(kBlockSize);  // zero-initialised
    data = zeros_.get();
    want = remaining < kBlockSize ? static_cast<size_t>(remaining) : kBlockSize;
  }
}

void BackupRun::finish() {
  // The set's data file ends with a filemark on every path past its opening; the
  // early-warning zone still takes it.
  if (!sf_.TapeWriteFilemarks(1) && mediumEndOf(sf_.AspiRequest) != MediumEnd::EarlyWarning) {
    report_.warning("最後のファイルマークが書き込めませんでした");
    if (!faces_.options.eoduse) {
      report_.quietWarning(
          "EODが使用できないため，このテープは正常に使用する事が出来なくなります．");
    }
  }
  if (!sf_.CloseSet()) {
    report_.warning("アンマウント出来ませんでした");
    progress_.reset();
    result_.status = RunStatus::Ended;
    return;
  }
  // "Finished" only for a set that can be found again where the next run looks for it.
  if (!confirmNewSet(sf_, setNumber_, name_, report_)) {
    progress_->setanimate(false);
    progress_->stopclock();
    sf_.TapeRewind();
    progress_.reset();
    result_.status = RunStatus::Ended;
    return;
  }
  rewindAndClose(sf_, progress_, report_, result_, "終了しました．");
}

}  // namespace

RunResult backupRun(TScsifile& sf, const FileList& filelist, Selection& selection,
                    const std::string& setName, RunFaces& faces, const LeftOutList& leftOut,
                    size_t readAheadBlocks) {
  RunGuard guard(sf);
  if (!guard.acquired()) return RunResult{};
  return BackupRun(sf, faces, readAheadBlocks).run(filelist, selection, setName, leftOut);
}

}  // namespace korv::jobs
