#include "scsi/sense.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sys/byte_order.h"

namespace korv {

namespace {

constexpr uint8_t kFilemarkBit = 0x80;
constexpr uint8_t kEomBit = 0x40;
constexpr uint8_t kIliBit = 0x20;

// Fixed format: response code 70h (current) or 71h (deferred).
SenseInfo decodeFixed(const uint8_t* s, size_t length) {
  SenseInfo info;
  if (length < 3) return info;
  info.valid = true;
  info.key = s[2] & 0x0F;
  info.filemark = (s[2] & kFilemarkBit) != 0;
  info.eom = (s[2] & kEomBit) != 0;
  info.ili = (s[2] & kIliBit) != 0;
  if (length >= 7 && (s[0] & 0x80) != 0) {
    info.informationValid = true;
    info.information = static_cast<int32_t>(loadBE32(s + 3));
  }
  // ASC and ASCQ count only when the additional length says they were sent.
  size_t present = length >= 8 ? std::min<size_t>(length, 8u + s[7]) : length;
  if (present >= 13) info.asc = s[12];
  if (present >= 14) info.ascq = s[13];
  return info;
}

// Descriptor format (72h/73h), which some pass-through stacks return when asked to.
SenseInfo decodeDescriptor(const uint8_t* s, size_t length) {
  SenseInfo info;
  if (length < 4) return info;
  info.valid = true;
  info.key = s[1] & 0x0F;
  info.asc = s[2];
  info.ascq = s[3];
  if (length < 8) return info;
  size_t end = std::min<size_t>(length, 8u + s[7]);
  size_t at = 8;
  while (at + 2 <= end) {
    uint8_t type = s[at];
    size_t size = 2u + s[at + 1];
    if (at + size > end) break;
    const uint8_t* d = s + at;
    if (type == 0x00 && size >= 12 && (d[2] & 0x80) != 0) {
      // 64-bit information; the residues this program deals in fit the low 32 bits.
      info.informationValid = true;
      info.information = static_cast<int32_t>(loadBE32(d + 8));
    } else if (type == 0x04 && size >= 4) {
      info.filemark = (d[3] & kFilemarkBit) != 0;
      info.eom = (d[3] & kEomBit) != 0;
      info.ili = (d[3] & kIliBit) != 0;
    }
    at += size;
  }
  return info;
}

}  // namespace

SenseInfo decodeSense(const uint8_t* sense, size_t length) {
  if (sense == nullptr || length == 0) return {};
  switch (sense[0] & 0x7F) {
    case 0x70:
    case 0x71:
      return decodeFixed(sense, length);
    case 0x72:
    case 0x73:
      return decodeDescriptor(sense, length);
    default:
      return {};
  }
}

void encodeSense(uint8_t* out, const SenseInfo& info) {
  std::memset(out, 0, 18);
  out[0] = 0x70 | (info.informationValid ? 0x80 : 0x00);
  out[2] = (info.key & 0x0F) | (info.filemark ? kFilemarkBit : 0) | (info.eom ? kEomBit : 0) |
           (info.ili ? kIliBit : 0);
  storeBE32(out + 3, static_cast<uint32_t>(info.information));
  out[7] = 10;  // additional length: bytes 8..17
  out[12] = info.asc;
  out[13] = info.ascq;
}

std::string describeSense(const SenseInfo& info) {
  if (!info.valid) return "no sense";
  char text[64];
  std::snprintf(text, sizeof text, "sense %X/%02X/%02X", info.key, info.asc, info.ascq);
  std::string result = text;
  if (info.filemark) result += " FM";
  if (info.eom) result += " EOM";
  if (info.ili) result += " ILI";
  if (info.informationValid) result += " info " + std::to_string(info.information);
  return result;
}

}  // namespace korv
