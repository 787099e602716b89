#pragma once
// Writes the files of a restore on a thread of its own, so the drive reads the next blocks
// while the file system creates and fills the files before them. The run hands over each
// file's steps in order (its start, its blocks, its end, or its breaking off) in a small
// ring of buffers the tape reads into directly; the writer takes them in the same
// order and does exactly what the run did on its own thread before: the checks at the
// destination, the writes, the times and read-only bit, the naming of the complete file.
// What it has to report is collected as notes, which the run shows in order on its own
// thread; a failure that ends the run stops the writer, and the run learns it at its next
// step.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jobs/restore_path.h"
#include "sys/finddata.h"

namespace korv::jobs {

struct RestoreNote {
  enum class Kind { Log, Error };
  Kind kind = Kind::Log;
  std::string text;
};

// A file the run counted as restored when its stream was read whole, and how it turned
// out once written.
struct RestoreOutcome {
  enum class Kind {
    Kept,
    Dropped,    // not completed: skipped
    Abandoned,  // reached after the run had ended: the run never got to it
  };
  Kind kind = Kind::Kept;
  int32_t size = 0;
};

class RestoreWriter {
 public:
  struct FileStart {
    std::string folderText;   // the destination folder as the run read it for this file
    RestoreTarget target;     // below it
    std::string shownPath;    // the destination path as logged
    double recordedTime = 0;  // the packed time of the entry
    int32_t size = 0;
    FindDataBytes finddata{};
    bool namecheck = false;  // an existing file stays
    bool timecheck = false;  // an existing file newer than the entry stays
  };

  // Steps the tape may run ahead by. Each holds a buffer as large as the largest record it
  // carried (at most 64 KiB); small files' steps are many, so they are taken in batches of
  // half the ring, one wake-up per batch.
  static constexpr size_t kDefaultRing = 64;

  explicit RestoreWriter(size_t ringSteps = kDefaultRing);
  ~RestoreWriter();  // stops the writer; steps not done yet are dropped
  RestoreWriter(const RestoreWriter&) = delete;
  RestoreWriter& operator=(const RestoreWriter&) = delete;

  // The buffer the next block, `length` bytes, is read into; waits while the ring is full.
  uint8_t* blockBuffer(size_t length);
  void start(FileStart file);
  // The next full block of the file, read into blockBuffer() (else copied there).
  void block(const uint8_t* data);
  // The file's last `length` bytes; the file is complete.
  void end(const uint8_t* data, size_t length);
  // The file's stream broke off: it is dropped.
  void broken();
  // A line for the log in its place among the files' own.
  void note(std::string text);

  // Waits until every step handed over is done.
  void settle();
  // Whether the writer ended the run (a destination that cannot be made, a failed write).
  bool ended();
  // The notes and outcomes since the last call, in the order they arose.
  void take(std::vector<RestoreNote>& notes, std::vector<RestoreOutcome>& outcomes);

 private:
  enum class StepKind { Start, Block, End, Broken, Note };
  struct Step;
  class FileWork;

  Step& claim(size_t length = 0);  // the next free slot with room for `length`, waiting for one
  void post();                     // hands over the claimed slot
  void hand(StepKind kind, const uint8_t* data, size_t length);
  void writerLoop();

  std::vector<Step> ring_;
  std::unique_ptr<FileWork> work_;  // touched by the writer thread only
  std::mutex mutex_;
  std::condition_variable posted_, freed_;
  size_t headAt_ = 0, count_ = 0;
  bool claimed_ = false;
  size_t claimedAt_ = 0;   // the slot claimed, past the handed-over ones
  int32_t fileSize_ = 0;   // of the file started last, for the run's count
  bool flushing_ = false;  // the run waits for everything to be done
  bool stopping_ = false;
  bool ended_ = false;
  bool runWaits_ = false, writerWaits_ = false;
  std::vector<RestoreNote> notes_;
  std::vector<RestoreOutcome> outcomes_;
  std::thread writer_;
};

}  // namespace korv::jobs
