#pragma once
// SIMH tape images built byte by byte, the way other tools write them: records (length
// word, data, a pad byte after an odd length, the length word again), filemarks, erase
// gaps and the end-of-medium marker. Builders of whole volumes derive from it and keep
// the chaining.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "sys/byte_order.h"

namespace korv::test {

template <class Self>
class TapImageWriter {
 public:
  Self& word(uint32_t w) {
    uint8_t b[4];
    storeLE32(b, w);
    bytes.insert(bytes.end(), b, b + 4);
    return self();
  }
  // `flags` go into both length words (the bad-record bit, or bits no reader knows).
  Self& record(std::span<const uint8_t> data, uint32_t flags = 0) {
    const auto w = static_cast<uint32_t>(data.size()) | flags;
    word(w);
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) bytes.push_back(0);
    return word(w);
  }
  Self& record(const std::string& data, uint32_t flags = 0) {
    return record(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()), flags);
  }
  Self& filemark() { return word(0); }
  Self& gap() { return word(0xFFFFFFFE); }
  Self& endOfMedium() { return word(0xFFFFFFFF); }

  void writeTo(const std::string& path) const { writeFile(path, bytes); }

  std::vector<uint8_t> bytes;

 private:
  Self& self() { return static_cast<Self&>(*this); }
};

// Images of single records and marks, for the drive's own tests.
class ImageBuilder : public TapImageWriter<ImageBuilder> {};

}  // namespace korv::test
