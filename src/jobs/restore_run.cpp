#include "jobs/restore_run.h"

#include <vector>

#include "jobs/restore_path.h"
#include "jobs/restore_writer.h"
#include "jobs/run_guard.h"
#include "jobs/run_support.h"
#include "jobs/stream_reading.h"
#include "sys/cp932.h"

namespace korv::jobs {
namespace {

// Writes each selected file below the destination folder as its stream is read, and
// gives it its recorded times and read-only bit once complete; a file that cannot be
// completed is deleted. The writing itself is the writer's, on its own thread; this side
// decides what is written, shows the writer's notes in order, and counts.
class RestoreRun : public StreamSink {
 public:
  RestoreRun(TScsifile& sf, RunFaces& faces, DestinationSource& destination)
      : sf_(sf), faces_(faces), destination_(destination), report_(faces, result_) {}
  RunResult run(Selection& selection);

  bool begin(const sf_file2& e, bool selected, ProgressSink& progress) override;
  uint8_t* blockBuffer(size_t length) override {
    return writing_ ? writer_.blockBuffer(length) : nullptr;
  }
  bool block(const uint8_t* data) override;
  void end(const sf_file2& e, const uint8_t* data, size_t length) override;
  void broken() override;
  // A file handed to the writer counts as kept until the writer tells otherwise.
  bool kept() const override { return kept_; }
  bool settle() override;

 private:
  // Shows the writer's notes and corrects the count by its outcomes; false once the
  // writer has ended the run.
  bool takeNews();

  TScsifile& sf_;
  RunFaces& faces_;
  DestinationSource& destination_;
  RunResult result_;
  RunReporter report_;
  RestoreWriter writer_;
  std::vector<RestoreNote> notes_;
  std::vector<RestoreOutcome> outcomes_;
  bool writing_ = false;  // the current entry goes to the writer
  bool kept_ = false;     // the last entry went to the writer
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

bool RestoreRun::takeNews() {
  writer_.take(notes_, outcomes_);
  for (const RestoreNote& note : notes_) {
    if (note.kind == RestoreNote::Kind::Error) {
      report_.error(note.text);
    } else {
      report_.log(note.text);
    }
  }
  for (const RestoreOutcome& outcome : outcomes_) {
    if (outcome.kind == RestoreOutcome::Kind::Kept) continue;
    --result_.filesDone;
    result_.bytesDone -= static_cast<uint32_t>(outcome.size);
    if (outcome.kind == RestoreOutcome::Kind::Dropped) ++result_.filesSkipped;
  }
  return !writer_.ended();
}

bool RestoreRun::settle() {
  writer_.settle();
  return takeNews();
}

bool RestoreRun::begin(const sf_file2& e, bool selected, ProgressSink& progress) {
  writing_ = false;
  if (!takeNews()) return false;
  if (!selected) return true;
  RestoreTarget target = mapRestorePath(e.name);
  if (target.refusal == RestoreTarget::Refusal::ClimbsOut) {
    writer_.note(cp932ToUtf8(e.name) + " はリストア先の外を指しているのでリストアしません．");
    return true;
  }
  if (target.refusal == RestoreTarget::Refusal::Empty) {
    writer_.note(cp932ToUtf8(e.name) + " はファイル名が無いのでリストアしません．");
    return true;
  }
  // The folder text is read now: a change during the run applies to what is still written.
  RestoreWriter::FileStart file;
  file.folderText = destination_.destination();
  file.shownPath = joinDestination(file.folderText, target.relative);
  if (!file.folderText.empty()) progress.setfilename(file.shownPath);
  file.target = std::move(target);
  file.recordedTime = e.time;
  file.size = e.size;
  file.finddata = e.finddata;
  file.namecheck = faces_.options.namecheck;
  file.timecheck = faces_.options.timecheck;
  writer_.start(std::move(file));
  writing_ = true;
  return true;
}

bool RestoreRun::block(const uint8_t* data) {
  if (!writing_) return true;
  if (!takeNews()) return false;
  writer_.block(data);
  return true;
}

void RestoreRun::end(const sf_file2& /*e*/, const uint8_t* data, size_t length) {
  kept_ = writing_;
  if (!writing_) return;
  writing_ = false;
  writer_.end(data, length);
}

void RestoreRun::broken() {
  if (!writing_) return;
  writing_ = false;
  writer_.broken();
}

}  // namespace

RunResult restoreRun(TScsifile& sf, Selection& selection, DestinationSource& destination,
                     RunFaces& faces) {
  RunGuard guard(sf);
  if (!guard.acquired()) return RunResult{};
  return RestoreRun(sf, faces, destination).run(selection);
}

}  // namespace korv::jobs
