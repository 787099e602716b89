#pragma once
// The 318-byte directory-search record a catalogue entry carries (the layout Windows
// gives it, so tapes from both systems read alike), and its production from the Linux
// file system.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace korv {

inline constexpr size_t kFindRecordSize = 318;  // attributes .. short name
inline constexpr size_t kFindDataSize = 320;    // as kept in sf_file2 and on tape

inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x02;
inline constexpr uint32_t FILE_ATTRIBUTE_SYSTEM = 0x04;
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;

struct FindData {
  uint32_t attributes = 0;
  uint64_t creationTime = 0;  // FILETIME
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  uint32_t sizeHigh = 0;
  uint32_t sizeLow = 0;
  std::string fileName;   // CP932, at most 259 bytes kept
  std::string shortName;  // CP932, at most 13 bytes kept
};

using FindDataBytes = std::array<uint8_t, kFindDataSize>;

FindDataBytes encodeFindData(const FindData& data);
FindData decodeFindData(std::span<const uint8_t, kFindDataSize> bytes);

}  // namespace korv
