#pragma once
// What the three runs share: their message boxes with the sounds in front, the log with a
// line count, and the progress dialog's lifetime.

#include <memory>
#include <string>

#include "jobs/run_interfaces.h"

namespace korv::jobs {

class RunReporter {
 public:
  RunReporter(RunFaces& faces, RunResult& result) : faces_(faces), result_(result) {}

  // Exclamation sound, then the box.
  void warning(const std::string& text) { box(BoxType::Warning, text, true); }
  void error(const std::string& text) { box(BoxType::Error, text, true); }
  // A warning that follows another at once, without a second sound.
  void quietWarning(const std::string& text) { box(BoxType::Warning, text, false); }
  // The default sound, then the information box.
  void information(const std::string& text);

  void clearLog() { faces_.log.clear(); }
  void log(const std::string& line);

 private:
  void box(BoxType type, const std::string& text, bool sound);
  RunFaces& faces_;
  RunResult& result_;
};

// Creates and shows the progress dialog of a run with its caption and stops its
// animation. Releasing the pointer closes it.
std::unique_ptr<ProgressSink> openProgress(ProgressFactory& factory, const std::string& caption);

}  // namespace korv::jobs
