#include "sys/cp932.h"

#include <gtest/gtest.h>

namespace korv {
namespace {

TEST(Cp932, TrailByte5CSurvivesBothWays) {
  // "表" is 0x95 0x5C and "ソ" is 0x83 0x5C: the backslash byte belongs to the character.
  const std::string bytes = "\x95\x5C\x83\x5C\\";
  EXPECT_EQ(cp932ToUtf8(bytes), "表ソ\\");
  EXPECT_EQ(utf8ToCp932("表ソ\\"), bytes);
  EXPECT_TRUE(isCp932TrailByte(bytes, 1));
  EXPECT_TRUE(isCp932TrailByte(bytes, 3));
  EXPECT_FALSE(isCp932TrailByte(bytes, 0));
  EXPECT_FALSE(isCp932TrailByte(bytes, 4));  // the real backslash
}

TEST(Cp932, AsciiBackslashAndTildeAreThemselves) {
  EXPECT_EQ(cp932ToUtf8("\\~"), "\\~");
  EXPECT_EQ(utf8ToCp932("C:\\a~1"), "C:\\a~1");
}

TEST(Cp932, PlainAsciiDecodesAsTheConverterDecodesIt) {
  // Pure ASCII takes a shortcut; with one double-byte character the converter does it all.
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
  EXPECT_EQ(cp932ToUtf8(ascii + "\x95\x5C"), cp932ToUtf8(ascii) + "表");
  EXPECT_EQ(utf8ToCp932(ascii + "表"), ascii + "\x95\x5C");
  EXPECT_EQ(utf8ToCp932(ascii), ascii);
}

TEST(Cp932, HalfWidthKatakanaAreSingleBytes) {
  const auto jukebox = utf8ToCp932("ｼﾞｭｰｸﾎﾞｯｸｽ");
  ASSERT_TRUE(jukebox);
  EXPECT_EQ(*jukebox, "\xBC\xDE\xAD\xB0\xB8\xCE\xDE\xAF\xB8\xBD");
  EXPECT_EQ(cp932ToUtf8(*jukebox), "ｼﾞｭｰｸﾎﾞｯｸｽ");
  EXPECT_EQ(utf8ToCp932("ｴﾗｰ"), "\xB4\xD7\xB0");
  // A half-width byte is a whole character, so the byte after it is no trail byte.
  EXPECT_FALSE(isCp932TrailByte("\xB4\x5C", 1));
}

TEST(Cp932, UnrepresentableTextIsRefused) {
  EXPECT_FALSE(utf8ToCp932("naïve"));
  EXPECT_FALSE(utf8ToCp932("emoji 😀"));
  EXPECT_FALSE(utf8ToCp932("\xFF\xFE"));  // not UTF-8
  // iconv would map these one way only: the yen sign to the backslash (a path separator on
  // Windows tapes), the JIS wave dash to the full-width tilde.
  EXPECT_FALSE(utf8ToCp932("a¥b"));
  EXPECT_FALSE(utf8ToCp932("〜"));
}

TEST(Cp932, DamagedBytesDecodeWithReplacementAndContinue) {
  // A lead byte with a byte that cannot be its trail: the next byte still decodes.
  EXPECT_EQ(cp932ToUtf8("a\x81 b"), "a\xEF\xBF\xBD b");
  // A lead byte cut off at the end.
  EXPECT_EQ(cp932ToUtf8("ok\x95"), "ok\xEF\xBF\xBD");
  // Undefined single bytes.
  EXPECT_EQ(cp932ToUtf8("\xA0x\xFDy"), "\xEF\xBF\xBDx\xEF\xBF\xBDy");
  EXPECT_EQ(cp932ToUtf8(""), "");
  EXPECT_FALSE(isCp932TrailByte("\x95", 1));  // out of range
}

}  // namespace
}  // namespace korv
