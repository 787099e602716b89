#pragma once
// Reads the files of a backup ahead of the tape: while the drive takes block n, a reader
// thread fills a small ring of 64 KiB blocks with the next blocks of the same file and of
// the files after it, so a drive that streams is not kept waiting for every small file's
// open and read. The run still sees each file in catalogue order, block by block, and
// decides everything itself (skip rules, padding, the abort check); the reader only opens,
// checks the size at open and reads. With no ring the same steps run on the caller's
// thread through one buffer, exactly when they are needed.

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "jobs/dirsearch.h"

namespace korv::jobs {

class SourceReader {
 public:
  struct Source {
    const ListedFile* file = nullptr;  // null: this entry is not read
  };
  enum class Opening { Opened, Failed, SizeChanged };
  struct Block {
    const uint8_t* data = nullptr;  // the block's bytes, zero past `length`
    size_t length = 0;              // bytes the file gave; short of the block: it gave out
    bool readFailed = false;        // it gave out through a read error (else it shrank)
  };

  // A ring of 64 KiB blocks the reader thread may run ahead by; 0: no thread.
  static constexpr size_t kDefaultRing = 64;

  SourceReader(std::vector<Source> sources, size_t ringBlocks);
  ~SourceReader();  // stops the reader; whatever it read ahead is dropped
  SourceReader(const SourceReader&) = delete;
  SourceReader& operator=(const SourceReader&) = delete;

  // Entry `index`'s outcome of opening. Entries are taken in ascending order; whatever is
  // left of an earlier entry (a file abandoned at an abort) is dropped.
  Opening open(size_t index);
  // The next block of the entry just opened; valid until release().
  Block block();
  void release();

 private:
  struct Slot {
    size_t index = 0;
    Opening opening = Opening::Opened;
    bool first = false;  // carries the entry's opening; its first block, if it has one
    bool hasData = false;
    Block block;
    std::unique_ptr<uint8_t[]> buffer;
  };

  void produceOne(Slot& slot);  // the next step of the reading, into `slot`
  int openListed(const ListedFile& file, struct stat& st);
  void readerLoop();
  Slot& head();  // waits for a filled slot
  void drop();   // frees the head slot

  std::vector<Source> sources_;
  std::vector<Slot> ring_;
  const size_t batch_;  // slots a side waits for before it is woken: half the ring
  // The reader's place: the entry it reads and what is left of it.
  size_t nextSource_ = 0;
  int fd_ = -1;
  size_t current_ = 0;
  uint64_t left_ = 0;
  const std::string* folderOf_ = nullptr;  // the folder `folderFd_` was opened for
  int folderFd_ = -1;

  // The ring is shared without a lock: the reader alone fills, the run alone takes. Each
  // side publishes its count of slots (times two; the low bit is the reader's "finished"
  // and the run's "stopping") and sleeps on the other's count, and a side wakes the other
  // only when it asked to be woken: one wake-up per half ring, not per block.
  std::atomic<uint64_t> filledWord_{0};
  std::atomic<uint64_t> takenWord_{0};
  std::atomic<bool> takerWaits_{false}, readerWaits_{false};
  uint64_t filled_ = 0;  // the reader's own count
  uint64_t taken_ = 0;   // the run's own count
  size_t count_ = 0;     // without a thread: whether ring_[0] holds the next step
  std::thread reader_;
};

}  // namespace korv::jobs
