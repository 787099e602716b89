#include "sys/finddata.h"

#include <algorithm>
#include <cstring>

#include "sys/byte_order.h"
#include "sys/cp932.h"

namespace korv {
namespace {

// Offsets within the record. A FILETIME is two dwords, the low one first: the same bytes as
// a little-endian 64-bit value.
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
  storeLE32(bytes.data() + kAttributes, data.attributes);
  storeLE64(bytes.data() + kCreation, data.creationTime);
  storeLE64(bytes.data() + kLastAccess, data.lastAccessTime);
  storeLE64(bytes.data() + kLastWrite, data.lastWriteTime);
  storeLE32(bytes.data() + kSizeHigh, data.sizeHigh);
  storeLE32(bytes.data() + kSizeLow, data.sizeLow);
  putName(bytes, kFileName, kFileNameWidth, data.fileName);
  putName(bytes, kShortName, kShortNameWidth, data.shortName);
  return bytes;
}

FindData decodeFindData(std::span<const uint8_t, kFindDataSize> bytes) {
  FindData data;
  data.attributes = loadLE32(bytes.data() + kAttributes);
  data.creationTime = loadLE64(bytes.data() + kCreation);
  data.lastAccessTime = loadLE64(bytes.data() + kLastAccess);
  data.lastWriteTime = loadLE64(bytes.data() + kLastWrite);
  data.sizeHigh = loadLE32(bytes.data() + kSizeHigh);
  data.sizeLow = loadLE32(bytes.data() + kSizeLow);
  data.fileName = getName(bytes, kFileName, kFileNameWidth);
  data.shortName = getName(bytes, kShortName, kShortNameWidth);
  return data;
}

}  // namespace korv
