#pragma once
// The files of a tape image that the drive itself wrote whole in this session: from a
// file's start (the beginning of the tape or just past a filemark) to its ending filemark,
// every entry is a well-formed record. A drive keeps such a directory of its medium so it
// can locate a filemark without reading every block on the way; here it lets spacing over
// a data file it has just written skip the file's records instead of reading their length
// words one by one. Whatever cuts the image cuts the index with it.

#include <cstdint>
#include <map>
#include <optional>

namespace korv {

class FileIndex {
 public:
  // The ending filemark of the known file that `pos` (an entry boundary) lies in.
  std::optional<uint64_t> filemarkAfter(uint64_t pos) const;
  // The file from `start` ends with the filemark at `filemark`.
  void add(uint64_t start, uint64_t filemark);
  // The image ends at `end`: files whose filemark is gone are forgotten.
  void cut(uint64_t end);
  void clear() { files_.clear(); }

 private:
  std::map<uint64_t, uint64_t> files_;  // start -> its filemark
};

}  // namespace korv
