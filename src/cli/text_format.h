#pragma once
// Text for the terminal: drive answers decoded for display, and columns that line up
// when some characters take two cells (kanji, kana) and others one (ASCII, half-width
// katakana).

#include <string>
#include <string_view>

namespace korv::cli {

// Bytes from a drive or a tape (CP932) as UTF-8, control bytes shown as spaces.
std::string displayText(std::string_view cp932);

// Without trailing spaces.
std::string trimRight(std::string text);

// Terminal cells the UTF-8 text takes.
int displayWidth(std::string_view utf8);

// The text followed by spaces up to `width` cells.
std::string padRight(const std::string& utf8, int width);

}  // namespace korv::cli
