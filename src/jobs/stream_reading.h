#pragma once
// What the restore and the test runs share: the run around the reading (the selected
// figures, the progress dialog, the rewind at the end) and the reading itself, the open
// set's file streams in catalogue order up to the last selected line, each with exactly
// the record lengths its catalogue size gives. What becomes of the bytes is the sink's
// business; unselected lines are read through all the same, only not counted.

#include <cstddef>
#include <cstdint>

#include "jobs/run_interfaces.h"
#include "jobs/run_support.h"
#include "tape/sf_file2.h"
#include "tape/sfile.h"

namespace korv::jobs {

// What a run does with the streams it reads. Each step may report; a false return ends
// the run. Every step does nothing by default.
class StreamSink {
 public:
  virtual ~StreamSink() = default;
  // A line is reached; its file header is read next.
  virtual void reached(const sf_file2& /*entry*/, ProgressSink& /*progress*/) {}
  // The header announced the file itself, empty or with data (not a skipped file).
  virtual bool begin(const sf_file2& /*entry*/, bool /*selected*/, ProgressSink& /*progress*/) {
    return true;
  }
  // Where the next record of the file begun, `length` bytes, is read; null: the reader's
  // own buffer.
  virtual uint8_t* blockBuffer(size_t /*length*/) { return nullptr; }
  // The next full block, kBlockSize bytes.
  virtual bool block(const uint8_t* /*data*/) { return true; }
  // The stream is complete: `data` holds its last `length` bytes (none for an empty file
  // or a size of whole blocks).
  virtual void end(const sf_file2& /*entry*/, const uint8_t* /*data*/, size_t /*length*/) {}
  // The stream broke off after begin() (a failed read, an abort, a refused block, a size
  // with no layout); the run ends.
  virtual void broken() {}
  // Whether the file whose stream just ended was kept (written, or simply read back);
  // a selected file that was not counts as skipped.
  virtual bool kept() const { return true; }
  // Finishes whatever the sink still does with the streams handed over, with its reports;
  // false when that ended the run. The reader settles the sink before it reports anything
  // itself (a report never overtakes the sink's) and when the reading ends.
  virtual bool settle() { return true; }
};

struct StreamRunTexts {
  const char* caption;           // of the progress dialog
  const char* nothingSelected;   // the warning when no line is selected
  const char* headerUnreadable;  // the error when a file header cannot be read
};

// Reads the selected streams of the open set into `sink`, then rewinds. False when nothing
// was selected (nothing else happens) or the tape could not be rewound; true once
// "終了しました" was shown and the dialog closed.
bool readSetStreams(TScsifile& sf, Selection& selection, RunFaces& faces, RunReporter& report,
                    RunResult& result, const StreamRunTexts& texts, StreamSink& sink);

}  // namespace korv::jobs
