#pragma once
// Fixed-width fields of records on tape and on disk, whatever the host's byte order: the
// volume records, the data streams' headers, the image format and the find-data record are
// little-endian, a double as its IEEE 754 bits.

#include <bit>
#include <cstdint>

namespace korv {

inline void storeLE32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint32_t loadLE32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

inline void storeLE64(uint8_t* at, uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint64_t loadLE64(const uint8_t* at) {
  return loadLE32(at) | uint64_t{loadLE32(at + 4)} << 32;
}

inline void storeDouble(uint8_t* at, double value) {
  storeLE64(at, std::bit_cast<uint64_t>(value));
}

inline double loadDouble(const uint8_t* at) {
  return std::bit_cast<double>(loadLE64(at));
}

}  // namespace korv
