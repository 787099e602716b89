#pragma once
// The 6-byte tape commands as tests send them, to the emulated drive or over a real bus:
// opcode, a flag byte, a 24-bit big-endian count, control byte 0.

#include <cstdint>
#include <vector>

#include "sys/byte_order.h"

namespace korv::test::cdb {

inline std::vector<uint8_t> withCount(uint8_t opcode, uint8_t byte1, uint32_t count) {
  std::vector<uint8_t> bytes{opcode, byte1, 0, 0, 0, 0};
  storeBE24(&bytes[2], count);
  return bytes;
}

inline std::vector<uint8_t> testUnitReady() {
  return {0x00, 0, 0, 0, 0, 0};
}
inline std::vector<uint8_t> rewind() {
  return {0x01, 0, 0, 0, 0, 0};
}
inline std::vector<uint8_t> inquiry(uint8_t allocation) {
  return {0x12, 0, 0, 0, allocation, 0};
}
inline std::vector<uint8_t> read(uint32_t length, bool sili = false) {
  return withCount(0x08, sili ? 0x02 : 0x00, length);
}
inline std::vector<uint8_t> write(uint32_t length) {
  return withCount(0x0A, 0, length);
}
inline std::vector<uint8_t> writeFilemarks(uint32_t count, bool immediate = false) {
  return withCount(0x10, immediate ? 1 : 0, count);
}
// code 0 blocks, 1 filemarks, 3 end of data; a negative count spaces backward.
inline std::vector<uint8_t> space(uint8_t code, int32_t count) {
  return withCount(0x11, code, static_cast<uint32_t>(count));
}
inline std::vector<uint8_t> erase() {
  return {0x19, 0x03, 0, 0, 0, 0};
}
inline std::vector<uint8_t> loadUnload(bool load) {
  return {0x1B, 0, 0, 0, static_cast<uint8_t>(load ? 1 : 0), 0};
}

}  // namespace korv::test::cdb
