#pragma once
// Answer bytes as text, one character per byte, as the INQUIRY columns and the tape
// component show them. Shared by the tape component and the bus scan.

#include <cstdint>
#include <string>

namespace korv {

// data[from..to], both included; empty when to < from. The caller keeps both in range.
inline std::string bytesToText(const uint8_t* data, int32_t from, int32_t to) {
  if (to < from) return {};
  return std::string(reinterpret_cast<const char*>(data) + from,
                     static_cast<size_t>(to - from + 1));
}

}  // namespace korv
