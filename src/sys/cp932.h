#pragma once
// Text on tape and in the options file is CP932 (Shift-JIS as Windows writes it); text
// inside the program is UTF-8. These convert between the two with iconv.

#include <optional>
#include <string>
#include <string_view>

namespace korv {

// Decodes CP932 bytes. A byte sequence CP932 does not define becomes U+FFFD, so a
// damaged name still shows (and never throws).
std::string cp932ToUtf8(std::string_view cp932);

// Encodes UTF-8 text; nullopt when some character has no CP932 form (or the input is
// not valid UTF-8). Nothing is dropped or replaced silently.
std::optional<std::string> utf8ToCp932(std::string_view utf8);

// Bytes from a drive or a tape (CP932) as UTF-8 for display, control bytes shown as
// spaces (both faces show drive answers, tape names and paths this way).
std::string displayText(std::string_view cp932);

// True when byte i of `cp932` is the second byte of a double-byte character (a trail
// byte can be 0x5C, the backslash, and must never be taken for a separator).
bool isCp932TrailByte(std::string_view cp932, size_t i);

}  // namespace korv
