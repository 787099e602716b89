#pragma once
// A set written directly through the command layer, the way another writer (the Windows
// program, with "C:\" paths and CP932 names) could have left it: the catalogue, each
// file's header and blocks, the closing filemark. The tape is rewound afterwards.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sys/finddata.h"
#include "tape/datastream.h"
#include "tape/sfile.h"

namespace korv::test {

struct TapeFile {
  std::string cp932Name;
  std::string content;
  bool skipped = false;
  uint64_t lastWrite = 133500000000000000ull;  // FILETIME, 2024
  uint32_t packed = 0x58A65000;                // 2024-05-06 10:00:00
  uint32_t attributes = FILE_ATTRIBUTE_ARCHIVE;
  std::optional<int32_t> header{};  // the file header, when it is to disagree with the size
};

// False at the first tape operation that failed.
inline bool writeForeignSet(TScsifile& sf, const std::string& name,
                            const std::vector<TapeFile>& files) {
  sf.Catalogue.clear();
  for (const auto& f : files) {
    sf_file2 e;
    e.name = f.cp932Name;
    e.time = f.packed;
    e.size = static_cast<int32_t>(f.content.size());
    e.attributes = f.attributes;
    FindData fd;
    fd.attributes = f.attributes;
    fd.creationTime = fd.lastAccessTime = fd.lastWriteTime = f.lastWrite;
    fd.sizeLow = static_cast<uint32_t>(f.content.size());
    fd.fileName = f.cp932Name.substr(f.cp932Name.find_last_of("\\/") + 1);
    e.finddata = encodeFindData(fd);
    sf.Catalogue.push_back(e);
  }
  std::string setName = name;
  if (!sf.OpenSet(0, setName)) return false;
  for (const auto& f : files) {
    uint8_t header[4];
    encodeHeader(f.skipped  ? kSkipHeader
                 : f.header ? *f.header
                            : static_cast<int32_t>(f.content.size()),
                 header);
    if (!sf.TapeWrite(header, 4)) return false;
    if (f.skipped) continue;
    for (size_t at = 0; at < f.content.size(); at += 65536) {
      const size_t n = std::min<size_t>(65536, f.content.size() - at);
      if (!sf.TapeWrite(reinterpret_cast<const uint8_t*>(f.content.data() + at),
                        static_cast<int32_t>(n))) {
        return false;
      }
    }
  }
  return sf.TapeWriteFilemarks(1) && sf.CloseSet() && sf.TapeRewind();
}

}  // namespace korv::test
