#include "jobs/entry_examiner.h"

#include <algorithm>
#include <system_error>

namespace korv::jobs {
namespace {

// Below this many entries a folder is examined on the caller's thread alone: handing it
// over would cost more than it saves.
constexpr size_t kSharedFrom = 64;
// Entries a thread takes at a time.
constexpr size_t kChunk = 16;

}  // namespace

EntryExaminer::~EntryExaminer() {
  if (!helper_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  start_.notify_one();
  helper_.join();
}

void EntryExaminer::work() {
  const size_t count = names_->size();
  for (;;) {
    const size_t first = next_.fetch_add(kChunk);
    if (first >= count) return;
    const size_t end = std::min(first + kChunk, count);
    for (size_t i = first; i < end; ++i) {
      std::error_code error;
      (*infos_)[i] = readFileInfoAt(dirFd_, (*names_)[i], error);
    }
  }
}

void EntryExaminer::helperLoop() {
  unsigned seen = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    start_.wait(lock, [&] { return stopping_ || folder_ != seen; });
    if (stopping_) return;
    seen = folder_;
    lock.unlock();
    work();
    lock.lock();
    helperBusy_ = false;
    finished_.notify_one();
  }
}

void EntryExaminer::examine(int dirFd, const std::vector<std::string>& names,
                            std::vector<std::optional<FileInfo>>& infos) {
  infos.assign(names.size(), std::nullopt);
  dirFd_ = dirFd;
  names_ = &names;
  infos_ = &infos;
  next_.store(0);
  if (names.size() < kSharedFrom) {
    work();
    return;
  }
  if (!helper_.joinable()) {
    try {
      helper_ = std::thread([this] { helperLoop(); });
    } catch (const std::system_error&) {  // no thread to be had: the caller does it all
      work();
      return;
    }
  }
  {
    std::lock_guard lock(mutex_);
    ++folder_;
    helperBusy_ = true;
  }
  start_.notify_one();
  work();
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return !helperBusy_; });
}

}  // namespace korv::jobs
