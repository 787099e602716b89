#pragma once
// Examines the entries of one folder on two threads, the caller's and one of its own: a
// listing of a large tree spends its time in one statx per entry, and the calls for the
// entries of a folder do not depend on each other. The answers come back in the order of
// the names, so the listing keeps the directory's order. Small folders are examined on the
// caller's thread alone, and the helper thread starts only when a large folder comes.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sys/file_info.h"

namespace korv::jobs {

class EntryExaminer {
 public:
  EntryExaminer() = default;
  ~EntryExaminer();
  EntryExaminer(const EntryExaminer&) = delete;
  EntryExaminer& operator=(const EntryExaminer&) = delete;

  // infos[i] is `names[i]` in the folder `dirFd` as readFileInfoAt describes it (nullopt:
  // it could not be examined, e.g. it vanished).
  void examine(int dirFd, const std::vector<std::string>& names,
               std::vector<std::optional<FileInfo>>& infos);

 private:
  void work();  // examines chunks of the current folder until none is left
  void helperLoop();

  std::mutex mutex_;
  std::condition_variable start_, finished_;
  int dirFd_ = -1;
  const std::vector<std::string>* names_ = nullptr;
  std::vector<std::optional<FileInfo>>* infos_ = nullptr;
  std::atomic<size_t> next_{0};
  unsigned folder_ = 0;  // counts the folders handed to the helper
  bool helperBusy_ = false;
  bool stopping_ = false;
  std::thread helper_;
};

}  // namespace korv::jobs
