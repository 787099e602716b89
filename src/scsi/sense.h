#pragma once
// Fixed-format sense data (response code 70h/71h), decoded by hand: the transports keep
// the raw bytes and the FILEMARK / EOM / ILI bits that some libraries drop.

#include <cstddef>
#include <cstdint>
#include <string>

namespace korv {

inline constexpr uint8_t SENSE_NO_SENSE = 0x0;
inline constexpr uint8_t SENSE_NOT_READY = 0x2;
inline constexpr uint8_t SENSE_MEDIUM_ERROR = 0x3;
inline constexpr uint8_t SENSE_HARDWARE_ERROR = 0x4;
inline constexpr uint8_t SENSE_ILLEGAL_REQUEST = 0x5;
inline constexpr uint8_t SENSE_UNIT_ATTENTION = 0x6;
inline constexpr uint8_t SENSE_DATA_PROTECT = 0x7;
inline constexpr uint8_t SENSE_BLANK_CHECK = 0x8;
inline constexpr uint8_t SENSE_ABORTED_COMMAND = 0xB;
inline constexpr uint8_t SENSE_VOLUME_OVERFLOW = 0xD;

struct SenseInfo {
  bool valid = false;  // a fixed-format sense was present
  uint8_t key = 0;
  uint8_t asc = 0;
  uint8_t ascq = 0;
  bool filemark = false;
  bool eom = false;
  bool ili = false;
  bool informationValid = false;
  int32_t information = 0;  // residue for READ: requested minus actual length
};

SenseInfo decodeSense(const uint8_t* sense, size_t length);

// Writes an 18-byte fixed-format sense into `out` (at least 18 bytes).
void encodeSense(uint8_t* out, const SenseInfo& info);

// "sense 3/11/00" plus " FM", " EOM", " ILI" and " info N" where set.
std::string describeSense(const SenseInfo& info);

}  // namespace korv
