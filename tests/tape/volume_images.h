#pragma once
// Tape images built by hand, byte for byte, from the on-tape records: volumes as this
// program writes them, as the Windows program wrote them, and damaged ones.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "scsi/aspi_request.h"
#include "scsi/trace.h"
#include "support/tap_image_builder.h"
#include "support/test_files.h"
#include "sys/byte_order.h"
#include "sys/finddata.h"
#include "tape/datastream.h"
#include "tape/records.h"
#include "tape/sfile.h"

namespace korv::test {

// A catalogue entry with a find-data record made for it.
inline sf_file2 makeEntry(const std::string& cp932Path, int32_t size, uint32_t packed = 0x5B875000,
                          uint32_t attributes = FILE_ATTRIBUTE_ARCHIVE) {
  sf_file2 e;
  e.name = cp932Path;
  e.time = packed;
  e.size = size;
  e.attributes = attributes;
  FindData fd;
  fd.attributes = attributes;
  fd.sizeLow = static_cast<uint32_t>(size);
  fd.lastWriteTime = 133000000000000000ull;
  fd.fileName = cp932Path.substr(cp932Path.find_last_of("\\/") + 1);
  e.finddata = encodeFindData(fd);
  return e;
}

class TapBuilder : public TapImageWriter<TapBuilder> {
 public:
  using TapImageWriter::record;
  TapBuilder& record(size_t length, uint8_t fill) {
    const std::vector<uint8_t> data(length, fill);
    return record(data);
  }

  // A label block whose identification field holds `id` (and its zero byte when it fits).
  TapBuilder& label(const std::string& id = kFormatId, const std::string& name = "TAPE") {
    return record(encodeVolumeLabel({id, name, 46000.5}));
  }
  TapBuilder& volume(const std::string& name = "TAPE") { return label(kFormatId, name).filemark(); }

  // A catalogue file: header, entries, and its filemark unless left out.
  TapBuilder& catalogue(const std::string& name, const std::vector<sf_file2>& entries,
                        bool withFilemark = true, int32_t count = -2) {
    record(encodeSetHeader({name, 46001.25, count == -2 ? int32_t(entries.size()) : count}));
    for (const auto& e : entries) record(encodeFileEntry(e));
    if (withFilemark) filemark();
    return *this;
  }

  // A data file in stream layout: per entry its header and blocks; `skipped` entries get
  // the skip header. The closing filemark can be left out.
  TapBuilder& data(const std::vector<sf_file2>& entries, const std::vector<bool>& skipped = {},
                   bool closing = true) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const bool skip = i < skipped.size() && skipped[i];
      uint8_t header[kHeaderSize];
      encodeHeader(skip ? kSkipHeader : entries[i].size, header);
      record(header);
      if (skip) continue;
      const auto layout = streamLayout(entries[i].size);
      for (int32_t b = 0; b < layout.blockCount(); ++b)
        record(size_t(layout.blockLength(b)), uint8_t('a' + b));
    }
    if (closing) filemark();
    return *this;
  }

  TapBuilder& set(const std::string& name, const std::vector<sf_file2>& entries = {},
                  bool closing = true) {
    return catalogue(name, entries).data(entries, {}, closing);
  }
};

// A volume with three complete sets of one small file each.
inline TapBuilder threeSets() {
  TapBuilder tap;
  tap.volume();
  tap.set("one", {makeEntry("/a/1.txt", 10)});
  tap.set("two", {makeEntry("/a/2.txt", 20)});
  tap.set("three", {makeEntry("/a/3.txt", 30)});
  return tap;
}

// What the traced commands were, for counting filemarks and blocks through the drive.
inline int32_t commandCount(const TraceRecord& r) {
  return loadSignedBE24(&r.cdb[2]);
}
inline bool isFilemarkSpace(const TraceRecord& r) {
  return r.cdb[0] == 0x11 && r.cdb[1] == 0x01;
}
// The counts of the SPACE filemarks commands, in order, with whether each succeeded.
inline std::vector<std::pair<int32_t, bool>> filemarkSpaces(const std::vector<TraceRecord>& trace) {
  std::vector<std::pair<int32_t, bool>> result;
  for (const auto& r : trace)
    if (isFilemarkSpace(r)) result.emplace_back(commandCount(r), r.status == SS_COMP);
  return result;
}
// READs of `length` bytes: how many were sent and how many succeeded.
inline std::pair<int, int> reads(const std::vector<TraceRecord>& trace, int32_t length) {
  std::pair<int, int> n{0, 0};
  for (const auto& r : trace) {
    if (r.cdb[0] != 0x08 || commandCount(r) != length) continue;
    ++n.first;
    n.second += r.status == SS_COMP ? 1 : 0;
  }
  return n;
}

}  // namespace korv::test
