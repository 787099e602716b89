#include "sys/finddata.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "sys/byte_order.h"

namespace korv {
namespace {

TEST(FindData, FieldsSitAtTheirOffsetsLittleEndian) {
  FindData data;
  data.attributes = 0x21;
  data.creationTime = 0x0102030405060708ull;
  data.lastAccessTime = 0x1112131415161718ull;
  data.lastWriteTime = 0x2122232425262728ull;
  data.sizeHigh = 0x31323334;
  data.sizeLow = 0x41424344;
  data.fileName = "name.txt";
  data.shortName = "NAME.TXT";
  const FindDataBytes b = encodeFindData(data);
  EXPECT_EQ(loadLE32(&b[0]), 0x21u);
  EXPECT_EQ(loadLE32(&b[4]), 0x05060708u);  // FILETIME: low dword first
  EXPECT_EQ(loadLE32(&b[8]), 0x01020304u);
  EXPECT_EQ(loadLE32(&b[12]), 0x15161718u);
  EXPECT_EQ(loadLE32(&b[16]), 0x11121314u);
  EXPECT_EQ(loadLE32(&b[20]), 0x25262728u);
  EXPECT_EQ(loadLE32(&b[24]), 0x21222324u);
  EXPECT_EQ(loadLE32(&b[28]), 0x31323334u);
  EXPECT_EQ(loadLE32(&b[32]), 0x41424344u);
  EXPECT_EQ(loadLE32(&b[36]), 0u);
  EXPECT_EQ(loadLE32(&b[40]), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[44])), "name.txt");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[304])), "NAME.TXT");
  EXPECT_EQ(b[316], 0);
  EXPECT_EQ(b[318], 0);
  EXPECT_EQ(b[319], 0);

  const FindData back = decodeFindData(b);
  EXPECT_EQ(back.attributes, data.attributes);
  EXPECT_EQ(back.creationTime, data.creationTime);
  EXPECT_EQ(back.lastAccessTime, data.lastAccessTime);
  EXPECT_EQ(back.lastWriteTime, data.lastWriteTime);
  EXPECT_EQ(back.sizeHigh, data.sizeHigh);
  EXPECT_EQ(back.sizeLow, data.sizeLow);
  EXPECT_EQ(back.fileName, data.fileName);
  EXPECT_EQ(back.shortName, data.shortName);
}

TEST(FindData, LongNamesKeepTheirZeroByteAndWholeCharacters) {
  FindData data;
  data.fileName = std::string(300, 'x');
  // 12 bytes then a two-byte character that would straddle the 13-byte limit.
  data.shortName = "ABCDEFGHIJKL\x95\x5C";
  const FindDataBytes b = encodeFindData(data);
  EXPECT_EQ(b[44 + 258], 'x');
  EXPECT_EQ(b[44 + 259], 0);
  const FindData back = decodeFindData(b);
  EXPECT_EQ(back.fileName, std::string(259, 'x'));
  EXPECT_EQ(back.shortName, "ABCDEFGHIJKL");
}

TEST(FindData, DecodingAnUnterminatedRecordStaysInsideEachField) {
  FindDataBytes b;
  std::fill(b.begin(), b.end(), 'A');
  const FindData data = decodeFindData(b);
  EXPECT_EQ(data.fileName, std::string(260, 'A'));
  EXPECT_EQ(data.shortName, std::string(14, 'A'));
}

}  // namespace
}  // namespace korv
