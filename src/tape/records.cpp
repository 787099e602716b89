#include "tape/records.h"

#include <algorithm>
#include <cstring>

#include "sys/byte_order.h"

namespace korv {

namespace {

constexpr size_t kLabelNameOffset = 256;
constexpr size_t kLabelTimeOffset = 512;
constexpr size_t kHeaderTimeOffset = 256;
constexpr size_t kHeaderCountOffset = 264;
constexpr size_t kEntryTimeOffset = 256;
constexpr size_t kEntrySizeOffset = 264;
constexpr size_t kEntryAttributesOffset = 268;
constexpr size_t kEntryFindDataOffset = 272;

static_assert(kEntryFindDataOffset + kFindDataSize == kFileEntrySize);

std::span<uint8_t, kTextFieldSize> fieldAt(uint8_t* block, size_t offset) {
  return std::span<uint8_t, kTextFieldSize>(block + offset, kTextFieldSize);
}

std::span<const uint8_t> fieldAt(std::span<const uint8_t> block, size_t offset) {
  return block.subspan(offset, kTextFieldSize);
}

}  // namespace

std::string readTextField(std::span<const uint8_t> field) {
  const void* zero = std::memchr(field.data(), 0, field.size());
  const size_t length =
      zero != nullptr ? static_cast<const uint8_t*>(zero) - field.data() : field.size();
  return std::string(reinterpret_cast<const char*>(field.data()), length);
}

void writeTextField(std::span<uint8_t, kTextFieldSize> field, std::string_view text) {
  const size_t n = std::min(text.size(), kTextFieldSize);
  std::memcpy(field.data(), text.data(), n);
  if (n < kTextFieldSize) field[n] = 0;
}

VolumeLabelBlock encodeVolumeLabel(const VolumeLabel& label) {
  VolumeLabelBlock block{};
  writeTextField(fieldAt(block.data(), 0), label.formatId);
  writeTextField(fieldAt(block.data(), kLabelNameOffset), label.tapeName);
  storeDouble(block.data() + kLabelTimeOffset, label.formatted);
  return block;
}

std::optional<VolumeLabel> decodeVolumeLabel(std::span<const uint8_t> block) {
  if (block.size() != kVolumeLabelSize) return std::nullopt;
  VolumeLabel label;
  label.formatId = readTextField(fieldAt(block, 0));
  label.tapeName = readTextField(fieldAt(block, kLabelNameOffset));
  label.formatted = loadDouble(block.data() + kLabelTimeOffset);
  return label;
}

SetHeaderBlock encodeSetHeader(const SetHeader& header) {
  SetHeaderBlock block{};
  writeTextField(fieldAt(block.data(), 0), header.name);
  storeDouble(block.data() + kHeaderTimeOffset, header.written);
  storeLE32(block.data() + kHeaderCountOffset, static_cast<uint32_t>(header.count));
  return block;
}

std::optional<SetHeader> decodeSetHeader(std::span<const uint8_t> block) {
  if (block.size() != kSetHeaderSize) return std::nullopt;
  SetHeader header;
  header.name = readTextField(fieldAt(block, 0));
  header.written = loadDouble(block.data() + kHeaderTimeOffset);
  header.count = static_cast<int32_t>(loadLE32(block.data() + kHeaderCountOffset));
  return header;
}

FileEntryBlock encodeFileEntry(const sf_file2& entry) {
  FileEntryBlock block{};
  writeTextField(fieldAt(block.data(), 0), entry.name);
  storeDouble(block.data() + kEntryTimeOffset, entry.time);
  storeLE32(block.data() + kEntrySizeOffset, static_cast<uint32_t>(entry.size));
  storeLE32(block.data() + kEntryAttributesOffset, entry.attributes);
  std::memcpy(block.data() + kEntryFindDataOffset, entry.finddata.data(), kFindDataSize);
  return block;
}

std::optional<sf_file2> decodeFileEntry(std::span<const uint8_t> block) {
  sf_file2 entry;
  if (!decodeFileEntry(block, entry)) return std::nullopt;
  return entry;
}

bool decodeFileEntry(std::span<const uint8_t> block, sf_file2& entry) {
  if (block.size() != kFileEntrySize) return false;
  entry.name = readTextField(fieldAt(block, 0));
  entry.time = loadDouble(block.data() + kEntryTimeOffset);
  entry.size = static_cast<int32_t>(loadLE32(block.data() + kEntrySizeOffset));
  entry.attributes = loadLE32(block.data() + kEntryAttributesOffset);
  std::memcpy(entry.finddata.data(), block.data() + kEntryFindDataOffset, kFindDataSize);
  return true;
}

}  // namespace korv
