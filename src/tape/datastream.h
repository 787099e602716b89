#pragma once
// The layout of a set's data file: per catalogue entry a 4-byte little-endian header
// (the size, or -1 when the file was not backed up), then ceil(size / 65536) blocks, all
// of 65536 bytes but the last, which holds the rest (1..65536). Never an empty block.

#include <cstdint>

#include "sys/byte_order.h"

namespace korv {

inline constexpr int32_t kBlockSize = 65536;
inline constexpr int32_t kHeaderSize = 4;
inline constexpr int32_t kSkipHeader = -1;

struct StreamLayout {
  int32_t fullBlocks = 0;  // blocks of exactly kBlockSize
  int32_t rest = 0;        // length of the last, partial block; 0 when there is none
  int32_t blockCount() const { return fullBlocks + (rest != 0 ? 1 : 0); }
  // Length of block i (0-based) as a reader must request it.
  int32_t blockLength(int32_t i) const { return i < fullBlocks ? kBlockSize : rest; }
};

// The blocks that follow a header of `size` (none for 0 and for negative sizes).
constexpr StreamLayout streamLayout(int32_t size) {
  if (size <= 0) return {};
  return {size / kBlockSize, size % kBlockSize};
}

inline void encodeHeader(int32_t value, uint8_t out[kHeaderSize]) {
  storeLE32(out, static_cast<uint32_t>(value));
}

inline int32_t decodeHeader(const uint8_t in[kHeaderSize]) {
  return static_cast<int32_t>(loadLE32(in));
}

}  // namespace korv
