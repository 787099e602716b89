#include "sys/finddata.h"

#include <algorithm>
#include <cstring>

#include "sys/cp932.h"

namespace korv {
namespace {

// Offsets within the record.
constexpr size_t kAttributes = 0;
constexpr size_t kCreation = 4;
constexpr size_t kLastAccess = 12;
constexpr size_t kLastWrite = 20;
constexpr size_t kSizeHigh = 28;
constexpr size_t kSizeLow = 32;
constexpr size_t kFileName = 44;
constexpr size_t kFileNameWidth = 260;
constexpr size_t kShortName = 304;
constexpr size_t kShortNameWidth = 14;

void put32(FindDataBytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A FILETIME is two dwords, the low one first: the same bytes as a little-endian 64-bit value.
void put64(FindDataBytes& b, size_t at, uint64_t v) {
  put32(b, at, static_cast<uint32_t>(v));
  put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}

uint32_t get32(std::span<const uint8_t, kFindDataSize> b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

uint64_t get64(std::span<const uint8_t, kFindDataSize> b, size_t at) {
  return get32(b, at) | (static_cast<uint64_t>(get32(b, at + 4)) << 32);
}

// Keeps room for the zero byte and never splits a double-byte character.
void putName(FindDataBytes& b, size_t at, size_t width, const std::string& name) {
  size_t length = std::min(name.size(), width - 1);
  length = std::min(length, name.find('\0'));
  if (length < name.size() && length > 0 && isCp932TrailByte(name, length)) --length;
  std::memcpy(b.data() + at, name.data(), length);
}

std::string getName(std::span<const uint8_t, kFindDataSize> b, size_t at, size_t width) {
  const char* field = reinterpret_cast<const char*>(b.data() + at);
  return std::string(field, strnlen(field, width));
}

}  // namespace

FindDataBytes encodeFindData(const FindData& data) {
  FindDataBytes bytes{};
  put32(bytes, kAttributes, data.attributes);
  put64(bytes, kCreation, data.creationTime);
  put64(bytes, kLastAccess, data.lastAccessTime);
  put64(bytes, kLastWrite, data.lastWriteTime);
  put32(bytes, kSizeHigh, data.sizeHigh);
  put32(bytes, kSizeLow, data.sizeLow);
  putName(bytes, kFileName, kFileNameWidth, data.fileName);
  putName(bytes, kShortName, kShortNameWidth, data.shortName);
  return bytes;
}

FindData decodeFindData(std::span<const uint8_t, kFindDataSize> bytes) {
  FindData data;
  data.attributes = get32(bytes, kAttributes);
  data.creationTime = get64(bytes, kCreation);
  data.lastAccessTime = get64(bytes, kLastAccess);
  data.lastWriteTime = get64(bytes, kLastWrite);
  data.sizeHigh = get32(bytes, kSizeHigh);
  data.sizeLow = get32(bytes, kSizeLow);
  data.fileName = getName(bytes, kFileName, kFileNameWidth);
  data.shortName = getName(bytes, kShortName, kShortNameWidth);
  return data;
}

}  // namespace korv
