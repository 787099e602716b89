#include "sys/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace korv {
namespace {

// One converter per direction and thread: iconv descriptors carry shift state and may not
// be shared between threads, and opening one per call is needlessly slow for long listings.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  iconv_t reset() {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    return cd_;
  }

 private:
  iconv_t cd_;
};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool isLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
bool isTrailByte(unsigned char c) {
  return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

enum class Outcome { Done, Invalid, Incomplete };

// Converts as much of `in` as possible, appending to `out`; `in` is advanced past what was
// converted.
Outcome convert(iconv_t cd, std::string_view& in, std::string& out) {
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char buffer[1024];
  for (;;) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    int err = errno;
    out.append(buffer, outPtr - buffer);
    in = std::string_view(inPtr, inLeft);
    if (rc != static_cast<size_t>(-1)) return Outcome::Done;
    if (err == E2BIG) continue;
    return err == EINVAL ? Outcome::Incomplete : Outcome::Invalid;
  }
}

// Bytes below 0x80 are the same characters in CP932 and UTF-8, and no CP932 trail byte
// follows an ASCII byte, so such text needs no converter: the common case of paths.
bool isAscii(std::string_view text) {
  uint8_t any = 0;
  for (const char c : text) any |= static_cast<uint8_t>(c);
  return any < 0x80;
}

}  // namespace

std::string cp932ToUtf8(std::string_view cp932) {
  if (isAscii(cp932)) return std::string(cp932);
  thread_local Converter decoder("UTF-8", "CP932");
  iconv_t cd = decoder.reset();
  std::string out;
  out.reserve(cp932.size() * 3 / 2);
  while (!cp932.empty()) {
    switch (convert(cd, cp932, out)) {
      case Outcome::Done:
        return out;
      case Outcome::Incomplete:  // a lead byte at the very end
        out += kReplacement;
        return out;
      case Outcome::Invalid:
        // Skip one byte only: when a lead byte is followed by a byte that cannot be its
        // trail, that byte (often plain ASCII) still decodes on its own.
        out += kReplacement;
        cp932.remove_prefix(1);
        cd = decoder.reset();
        break;
    }
  }
  return out;
}

std::optional<std::string> utf8ToCp932(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  thread_local Converter encoder("CP932", "UTF-8");
  std::string_view rest = utf8;
  std::string out;
  out.reserve(utf8.size());
  if (convert(encoder.reset(), rest, out) != Outcome::Done) return std::nullopt;
  // iconv maps a few characters one way only (U+00A5 to the backslash, U+203E to the tilde,
  // U+301C to the full-width tilde ...). Such a name would come back as a different name,
  // or even gain a path separator, so only text that decodes to itself is accepted.
  if (cp932ToUtf8(out) != utf8) return std::nullopt;
  return out;
}

bool isCp932TrailByte(std::string_view cp932, size_t i) {
  if (i >= cp932.size()) return false;
  size_t j = 0;
  while (j < i) {
    if (isLeadByte(cp932[j]) && j + 1 < cp932.size() && isTrailByte(cp932[j + 1])) {
      if (j + 1 == i) return true;
      j += 2;
    } else {
      ++j;
    }
  }
  return false;
}

std::string displayText(std::string_view cp932) {
  std::string text = cp932ToUtf8(cp932);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

}  // namespace korv
