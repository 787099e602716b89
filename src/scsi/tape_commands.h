#pragma once
// The 6-byte commands of the sequential-access command set this system speaks, named once
// for the sender (TScsifile), the emulated drive that answers them and the transports to
// real drives that time them.

#include <cstdint>

namespace korv {

// Operation codes (command byte 0).
inline constexpr uint8_t kOpTestUnitReady = 0x00;
inline constexpr uint8_t kOpRewind = 0x01;
inline constexpr uint8_t kOpRead = 0x08;
inline constexpr uint8_t kOpWrite = 0x0A;
inline constexpr uint8_t kOpWriteFilemarks = 0x10;
inline constexpr uint8_t kOpSpace = 0x11;
inline constexpr uint8_t kOpInquiry = 0x12;
inline constexpr uint8_t kOpErase = 0x19;
inline constexpr uint8_t kOpLoadUnload = 0x1B;

// SPACE codes (the low three bits of command byte 1).
inline constexpr uint8_t kScsiSpaceBlocks = 0;
inline constexpr uint8_t kScsiSpaceFilemarks = 1;
inline constexpr uint8_t kScsiSpaceEndOfData = 3;
inline constexpr uint8_t kScsiSpaceSetmarks = 4;

// Counts and lengths travel in command bytes 2..4: 24 bits, two's complement for SPACE.
inline constexpr int32_t kMaxLength24 = 0xFFFFFF;
inline constexpr int32_t kMinCount24 = -0x800000;
inline constexpr int32_t kMaxCount24 = 0x7FFFFF;

}  // namespace korv
