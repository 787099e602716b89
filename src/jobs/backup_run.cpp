#include "jobs/backup_run.h"

#include <algorithm>
#include <memory>

#include "jobs/run_guard.h"
#include "jobs/run_support.h"
#include "jobs/set_append.h"
#include "jobs/source_reader.h"
#include "jobs/tape_failure.h"
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
  enum class Step { Next, LeaveLoop };
  Step backUpFile(size_t index, const ListedFile& item, const sf_file2& e);
  Step skipFile(const sf_file2& e);
  bool padStream(const ListedFile& item, const SourceReader::Block& block, uint64_t remaining);
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
    if (backUpFile(static_cast<size_t>(i), *items[i], sf_.Catalogue[i]) == Step::LeaveLoop) break;
  }
  reader_.reset();  // nothing more is read once the loop is left
  finish();
  return result_;
}

BackupRun::Step BackupRun::skipFile(const sf_file2& e) {
  figures_.addBytes(static_cast<float>(e.size));
  figures_.addFile();
  ++result_.filesSkipped;
  uint8_t header[kHeaderSize];
  encodeHeader(kSkipHeader, header);
  if (!sf_.TapeWrite(header, kHeaderSize)) {
    report_.error("ファイルスキップ用のヘッダーが書けませんでした");
    return Step::LeaveLoop;
  }
  return Step::Next;
}

BackupRun::Step BackupRun::backUpFile(size_t index, const ListedFile& item, const sf_file2& e) {
  ProgressSink& p = *progress_;
  const std::string path = item.path();
  p.setfilename(path);

  if (item.problem != ListingProblem::None) {
    report_.log(listingProblemLine(path, item.problem));
    return skipFile(e);
  }
  switch (reader_->open(index)) {
    case SourceReader::Opening::Failed:
      report_.log(path + "はオープンできませんでした");
      return skipFile(e);
    case SourceReader::Opening::SizeChanged:
      report_.log(path + "はファイルサイズが変化した為" + "バックアップしません");
      return skipFile(e);
    case SourceReader::Opening::Opened:
      break;
  }

  uint8_t header[kHeaderSize];
  encodeHeader(e.size, header);
  if (!sf_.TapeWrite(header, kHeaderSize)) {
    report_.error("ファイルのヘッダーが書けませんでした");
    return Step::LeaveLoop;
  }
  // Exactly the recorded size goes to tape, in the blocks the layout prescribes: a file
  // that grew is stored as it was listed; one that shrank or stopped reading has the rest
  // of its stream filled with zero bytes, so one damaged file costs none after it.
  bool writeState = true;
  bool padded = false;
  uint64_t remaining = item.size;
  while (remaining > 0) {
    const size_t want = remaining < kBlockSize ? static_cast<size_t>(remaining) : kBlockSize;
    const SourceReader::Block block = reader_->block();
    if (block.length < want) {
      writeState = padStream(item, block, remaining);
      reader_->release();
      padded = true;
      break;
    }
    writeState = sf_.TapeWrite(block.data, static_cast<int32_t>(want));
    reader_->release();
    figures_.addBytes(static_cast<float>(want));
    remaining -= want;
    if (p.isabort() || !writeState) break;
  }
  if (!writeState) {
    const std::string cause = tapeFailureCause(sf_);
    if (!cause.empty()) report_.log(cause);
    report_.error("書き込みエラーが発生しました");
    return Step::LeaveLoop;
  }
  figures_.addFile();
  if (remaining == 0 || padded) {  // not a file an abort cut short
    ++result_.filesDone;
    result_.bytesDone += item.size;
  }
  return Step::Next;
}

// Writes the rest of a stream whose file gave out: the block as far as it was read, zero
// bytes after, then whole blocks of zero bytes. The log names the file.
bool BackupRun::padStream(const ListedFile& item, const SourceReader::Block& block,
                          uint64_t remaining) {
  report_.log(item.path() + (block.readFailed
                                 ? "は途中で読み込めなくなった為，残りを0で埋めました"
                                 : "は読み込み中に小さくなった為，残りを0で埋めました"));
  size_t want = remaining < kBlockSize ? static_cast<size_t>(remaining) : kBlockSize;
  const uint8_t* data = block.data;
  for (;;) {
    if (!sf_.TapeWrite(data, static_cast<int32_t>(want))) return false;
    figures_.addBytes(static_cast<float>(want));
    remaining -= want;
    // An abort stops the padding as it stops the data; the next entry's check reports it.
    if (remaining == 0 || progress_->isabort()) return true;
    if (!zeros_) zeros_ = std::make_unique<uint8_t[]>(kBlockSize);  // zero-initialised
    data = zeros_.get();
    want = remaining < kBlockSize ? static_cast<size_t>(remaining) : kBlockSize;
  }
}

void BackupRun::finish() {
  // The set's data file ends with a filemark on every path past its opening.
  if (!sf_.TapeWriteFilemarks(1)) {
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
