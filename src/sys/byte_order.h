#pragma once
// Fixed-width fields, whatever the host's byte order. The volume records, the data streams'
// headers, the image format and the find-data record are little-endian (a double as its
// IEEE 754 bits); SCSI commands, sense data and parameter lists are big-endian.

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

inline uint16_t loadBE16(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] << 8 | at[1]);
}

inline uint32_t loadBE24(const uint8_t* at) {
  return uint32_t{at[0]} << 16 | uint32_t{at[1]} << 8 | at[2];
}

// A 24-bit two's complement count, as SPACE takes it.
inline int32_t loadSignedBE24(const uint8_t* at) {
  const uint32_t v = loadBE24(at);
  return (v & 0x800000u) != 0 ? static_cast<int32_t>(v) - 0x1000000 : static_cast<int32_t>(v);
}

inline void storeBE24(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 3; ++i) at[i] = static_cast<uint8_t>(value >> (8 * (2 - i)));
}

inline uint32_t loadBE32(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

inline void storeBE32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * (3 - i)));
}

}  // namespace korv
