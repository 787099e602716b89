#include "scsi/file_index.h"

namespace korv {

std::optional<uint64_t> FileIndex::filemarkAfter(uint64_t pos) const {
  auto it = files_.upper_bound(pos);
  if (it == files_.begin()) return std::nullopt;
  --it;  // the last file that starts at or before `pos`
  if (it->second < pos) return std::nullopt;
  return it->second;
}

void FileIndex::add(uint64_t start, uint64_t filemark) {
  files_[start] = filemark;
}

void FileIndex::cut(uint64_t end) {
  // A filemark is four bytes: one that starts past end - 4 is no longer whole.
  for (auto it = files_.begin(); it != files_.end();) {
    if (it->second + 4 > end) {
      it = files_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace korv
