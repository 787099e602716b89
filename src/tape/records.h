#pragma once
// The on-tape records of a volume, encoded and decoded in this one place: the volume
// label, the set header and the catalogue's file entry. Every record is one tape block
// of a fixed size; integers and doubles are little-endian; text fields are 256 bytes of
// CP932 read up to the first zero byte (a field without one is 256 bytes of text).
// Decoders take the block exactly as read and refuse any other size.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tape/sf_file2.h"

namespace korv {

inline constexpr size_t kVolumeLabelSize = 520;
inline constexpr size_t kSetHeaderSize = 268;
inline constexpr size_t kFileEntrySize = 592;
inline constexpr size_t kTextFieldSize = 256;
// The longest text that still fits a field together with its zero byte.
inline constexpr size_t kMaxFieldText = kTextFieldSize - 1;

struct VolumeLabel {
  std::string formatId;  // offset 0
  std::string tapeName;  // offset 256, CP932
  double formatted = 0;  // offset 512, days since 1899-12-30, local time
};

struct SetHeader {
  std::string name;    // offset 0, CP932
  double written = 0;  // offset 256, days since 1899-12-30, local time
  int32_t count = 0;   // offset 264, number of FileEntry blocks that follow
};

using VolumeLabelBlock = std::array<uint8_t, kVolumeLabelSize>;
using SetHeaderBlock = std::array<uint8_t, kSetHeaderSize>;
using FileEntryBlock = std::array<uint8_t, kFileEntrySize>;

// Text of a field: the bytes up to the first zero byte, all of them when there is none.
std::string readTextField(std::span<const uint8_t> field);
// Writes text and a zero byte into a 256-byte field that is already zero. A text of 256
// bytes or more keeps its first 256 bytes and has no zero byte.
void writeTextField(std::span<uint8_t, kTextFieldSize> field, std::string_view text);
// True when the text fits a field with its zero byte (names the system itself makes).
constexpr bool fitsTextField(std::string_view text) {
  return text.size() <= kMaxFieldText;
}

VolumeLabelBlock encodeVolumeLabel(const VolumeLabel& label);
std::optional<VolumeLabel> decodeVolumeLabel(std::span<const uint8_t> block);

SetHeaderBlock encodeSetHeader(const SetHeader& header);
std::optional<SetHeader> decodeSetHeader(std::span<const uint8_t> block);

// The entry keeps the 320 bytes from offset 272 (find-data record and two spare bytes)
// exactly as they stand.
FileEntryBlock encodeFileEntry(const sf_file2& entry);
std::optional<sf_file2> decodeFileEntry(std::span<const uint8_t> block);
// The same into an entry already in place (a catalogue of 100,000 entries is filled
// without moving each one); false, and `entry` unspecified, for a block of another size.
bool decodeFileEntry(std::span<const uint8_t> block, sf_file2& entry);

}  // namespace korv
