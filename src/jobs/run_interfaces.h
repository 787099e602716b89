#pragma once
// What a run (backup, restore, test) needs from the face that starts it. The desktop
// program implements these with its dialogs, the terminal program with stdout/stderr,
// tests with recorders. A run is written once, against these alone.

#include <cstdint>
#include <memory>
#include <string>

#include "sys/messages.h"
#include "sys/options.h"

namespace korv::jobs {

// The operations of the progress dialog. Created (and shown) by the run through a
// ProgressFactory; destroying it closes and releases it. Texts are UTF-8.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void setallbyte(float total) = 0;
  virtual void setallcount(int32_t count) = 0;
  virtual void setcopycount(int32_t count) = 0;
  virtual void setcopybyte(float done) = 0;
  virtual void setfilename(const std::string& name) = 0;
  virtual void setanimate(bool on) = 0;
  virtual void stopclock() = 0;
  virtual bool isabort() = 0;
  virtual void clearabort() = 0;
};

// The progress dialogs' captions, one per run.
inline constexpr const char* kCaptionBackup = "バックアップ中です";
inline constexpr const char* kCaptionRestore = "リストア中です";
inline constexpr const char* kCaptionTest = "テスト中です";

class ProgressFactory {
 public:
  virtual ~ProgressFactory() = default;
  // Creates the dialog with its caption and shows it (which clears its abort request).
  virtual std::unique_ptr<ProgressSink> create(const std::string& caption) = 0;
};

// The dialog's log box: per-file outcomes of a run, one line per call (UTF-8).
class RunLog {
 public:
  virtual ~RunLog() = default;
  virtual void clear() = 0;
  virtual void add(const std::string& line) = 0;
};

// The selection of the list the run works on. A run asks for line i when it reaches it,
// so a selection changed during a run changes what is still done.
class Selection {
 public:
  virtual ~Selection() = default;
  virtual bool selected(size_t line) = 0;
};

// The restore destination folder text (UTF-8), read each time a file is about to be
// written, as the dialog's edit box is.
class DestinationSource {
 public:
  virtual ~DestinationSource() = default;
  virtual std::string destination() = 0;
};

// Everything a run talks to besides the tape component. The options are read when each
// file is reached, so they are held by reference.
struct RunFaces {
  MessageService& messages;
  ProgressFactory& progress;
  RunLog& log;
  const Options& options;
};

// How a run ended, for the face (the terminal's exit status, the dialog's list).
enum class RunStatus {
  NotStarted,  // refused before touching the tape (a warning said why) or already running
  Failed,      // the tape could not be mounted / the set not opened
  Ended,       // the run worked but could not close the set or rewind
  Finished,    // the final information was shown
};

struct RunResult {
  RunStatus status = RunStatus::NotStarted;
  int logLines = 0;       // lines added to the log
  int problems = 0;       // warning and error boxes shown by the run
  int errors = 0;         // of them error boxes: each ended the run's work early
  bool aborted = false;   // the abort request ended the work
  bool tapeFull = false;  // the medium ended: the set holds only the files before one
  // What the work got through, for a face's closing summary. A selected file is done
  // when all its bytes went to tape / to its restored copy / were read back; skipped
  // when the run passed over it (its log line says why).
  int32_t filesDone = 0;
  int32_t filesSkipped = 0;
  uint64_t bytesDone = 0;  // the sizes of the files done
  bool started() const { return status == RunStatus::Ended || status == RunStatus::Finished; }
};

}  // namespace korv::jobs
