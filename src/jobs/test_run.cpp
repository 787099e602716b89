#include "jobs/test_run.h"

#include <memory>

#include "jobs/run_guard.h"
#include "jobs/run_support.h"
#include "sys/cp932.h"
#include "tape/datastream.h"

namespace korv::jobs {
namespace {

class TestRun {
 public:
  TestRun(TScsifile& sf, RunFaces& faces) : sf_(sf), faces_(faces), report_(faces, result_) {}
  RunResult run(Selection& selection);

 private:
  // False when the run ends here.
  bool readEntry(const sf_file2& e, bool selected);

  TScsifile& sf_;
  RunFaces& faces_;
  RunResult result_;
  RunReporter report_;
  std::unique_ptr<ProgressSink> progress_;
  std::unique_ptr<uint8_t[]> buffer_;
  float doneBytes_ = 0;
  int32_t doneCount_ = 0;
};

RunResult TestRun::run(Selection& selection) {
  int32_t selectedCount = 0;
  float selectedBytes = 0;
  const auto& catalogue = sf_.Catalogue;
  for (size_t i = 0; i < catalogue.size(); ++i) {
    if (!selection.selected(i)) continue;
    ++selectedCount;
    selectedBytes += static_cast<float>(catalogue[i].size);
  }
  if (selectedCount == 0) {
    report_.warning("テストするファイルが１個も指定されていません");
    return result_;
  }
  report_.clearLog();
  progress_ = openProgress(faces_.progress, kCaptionTest);
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
    if (doneCount_ == selectedCount) break;
    p.setfilename(cp932ToUtf8(catalogue[line].name));
    if (!readEntry(catalogue[line], selection.selected(line))) break;
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
  result_.status = RunStatus::Finished;
  return result_;
}

bool TestRun::readEntry(const sf_file2& e, bool selected) {
  ProgressSink& p = *progress_;
  uint8_t header[kHeaderSize];
  if (!sf_.TapeRead(header, kHeaderSize)) {
    report_.error("ファイルヘッダーが読み込めませんでした");
    return false;
  }
  const int32_t value = decodeHeader(header);
  if (value == kSkipHeader) {
    report_.log(cp932ToUtf8(e.name) + "はバックアップされていません");
    if (selected) {
      doneBytes_ += static_cast<float>(e.size);
      p.setcopybyte(doneBytes_);
      ++doneCount_;
      p.setcopycount(doneCount_);
    }
    return true;
  }
  if (value != 0) {
    // A negative size (2 GiB or more, written elsewhere) has no layout to follow.
    if (e.size < 0) {
      report_.error("読み込みエラーが発生しました");
      return false;
    }
    const StreamLayout layout = streamLayout(e.size);
    for (int32_t block = 0; block < layout.fullBlocks; ++block) {
      if (p.isabort()) {
        report_.warning("中断しました");
        result_.aborted = true;
        return false;
      }
      if (!sf_.TapeRead(buffer_.get(), kBlockSize)) {
        report_.error("読み込みエラーが発生しました");
        return false;
      }
      if (selected) {
        doneBytes_ += static_cast<float>(kBlockSize);
        p.setcopybyte(doneBytes_);
      }
    }
    if (layout.rest != 0) {
      if (!sf_.TapeRead(buffer_.get(), layout.rest)) {
        report_.error("読み込みエラーが発生しました");
        return false;
      }
      if (selected) {
        doneBytes_ += static_cast<float>(layout.rest);
        p.setcopybyte(doneBytes_);
      }
    }
  }
  if (selected) {
    ++doneCount_;
    p.setcopycount(doneCount_);
  }
  return true;
}

}  // namespace

RunResult testRun(TScsifile& sf, Selection& selection, RunFaces& faces) {
  RunGuard guard(sf);
  if (!guard.acquired()) return RunResult{};
  return TestRun(sf, faces).run(selection);
}

}  // namespace korv::jobs
