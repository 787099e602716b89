#include "tape/entry_size.h"

namespace korv {

uint64_t wholeFileSize(const sf_file2& entry) {
  const FindData record = decodeFindData(entry.finddata);
  const auto low = static_cast<uint32_t>(entry.size);
  if (record.sizeLow != low) return low;
  return (uint64_t{record.sizeHigh} << 32) | low;
}

}  // namespace korv
