#pragma once
// Text for the terminal: columns that line up
// when some characters take two cells (kanji, kana) and others one (ASCII, half-width
// katakana).

#include <string>
#include <string_view>

#include "sys/cp932.h"  // displayText

namespace korv::cli {

// Without trailing spaces.
std::string trimRight(std::string text);

// Terminal cells the UTF-8 text takes.
int displayWidth(std::string_view utf8);

// The text followed by spaces up to `width` cells.
std::string padRight(const std::string& utf8, int width);

}  // namespace korv::cli
