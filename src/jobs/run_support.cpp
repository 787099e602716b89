#include "jobs/run_support.h"

#include "tape/sfile.h"

namespace korv::jobs {

void RunReporter::box(BoxType type, const std::string& text, bool sound) {
  if (sound) faces_.messages.beep(kBeepExclamation);
  faces_.messages.show(type, text);
  ++result_.problems;
  if (type == BoxType::Error) ++result_.errors;
}

void RunReporter::information(const std::string& text) {
  faces_.messages.beep(kBeepDefault);
  faces_.messages.show(BoxType::Information, text);
}

void RunReporter::log(const std::string& line) {
  faces_.log.add(line);
  ++result_.logLines;
}

std::unique_ptr<ProgressSink> openProgress(ProgressFactory& factory, const std::string& caption) {
  auto sink = factory.create(caption);
  sink->setanimate(false);
  return sink;
}

void ProgressFigures::start(ProgressSink& progress, float totalBytes, int32_t totalFiles) {
  progress_ = &progress;
  progress.setallbyte(totalBytes);
  progress.setallcount(totalFiles);
  progress.setcopycount(0);
  progress.setcopybyte(0);
  progress.setanimate(true);
}

void ProgressFigures::addBytes(float bytes) {
  bytes_ += bytes;
  progress_->setcopybyte(bytes_);
}

void ProgressFigures::addFile() {
  ++files_;
  progress_->setcopycount(files_);
}

bool rewindAndClose(TScsifile& sf, std::unique_ptr<ProgressSink>& progress, RunReporter& report,
                    RunResult& result, const std::string& finished) {
  progress->setanimate(false);
  progress->stopclock();
  if (!sf.TapeRewind()) {
    report.warning("巻き戻せませんでした");
    progress.reset();
    result.status = RunStatus::Ended;
    return false;
  }
  report.information(finished);
  progress.reset();
  result.status = RunStatus::Finished;
  return true;
}

}  // namespace korv::jobs
