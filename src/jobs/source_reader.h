#pragma once
// Reads the files of a backup ahead of the tape: while the drive takes block n, a reader
// thread fills a small ring of 64 KiB blocks with the next blocks of the same file and of
// the files after it, so a drive that streams is not kept waiting for every small file's
// open and read. The run still sees each file in catalogue order, block by block, and
// decides everything itself (skip rules, padding, the abort check); the reader only opens,
// checks the size at open and reads. With no ring the same steps run on the caller's
// thread through one buffer, exactly when they are needed.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
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
  static constexpr size_t kDefaultRing = 16;

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
  void readerLoop();
  Slot& head();  // waits for a filled slot
  void drop();   // frees the head slot

  std::vector<Source> sources_;
  std::vector<Slot> ring_;
  // The reader's place: the entry it reads and what is left of it.
  size_t nextSource_ = 0;
  int fd_ = -1;
  size_t current_ = 0;
  uint64_t left_ = 0;

  std::mutex mutex_;
  std::condition_variable filled_, freed_;
  size_t headAt_ = 0, count_ = 0;
  bool finished_ = false;  // every entry has been read
  bool stopping_ = false;
  bool takerWaits_ = false, readerWaits_ = false;
  std::thread reader_;
};

}  // namespace korv::jobs
