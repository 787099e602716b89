#pragma once
// What the three runs share: their message boxes with the sounds in front, the log with a
// line count, the progress dialog's lifetime and figures, and the rewind that ends a run.

#include <memory>
#include <string>

#include "jobs/run_interfaces.h"

namespace korv {
class TScsifile;
}

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

// The figures a run shows in its dialog: the totals, then the bytes and files done, each
// told to the dialog as it grows.
class ProgressFigures {
 public:
  // Sets the totals with nothing done yet, then starts the animation.
  void start(ProgressSink& progress, float totalBytes, int32_t totalFiles);
  void addBytes(float bytes);
  void addFile();
  int32_t filesDone() const { return files_; }

 private:
  ProgressSink* progress_ = nullptr;
  float bytes_ = 0;
  int32_t files_ = 0;
};

// The end of a run that got through its work: stops the animation and the clock, rewinds,
// shows `finished` when that worked and closes the dialog after the last box. Sets the
// status to Finished, or to Ended when the tape could not be rewound; true when rewound.
bool rewindAndClose(TScsifile& sf, std::unique_ptr<ProgressSink>& progress, RunReporter& report,
                    RunResult& result, const std::string& finished);

}  // namespace korv::jobs
