#include "tape/records.h"

#include <gtest/gtest.h>

#include <vector>

#include "tape/entry_size.h"

namespace korv {
namespace {

TEST(Records, SetHeaderAndEntryLayout) {
  const auto header = encodeSetHeader({"set", 2.0, -5});
  EXPECT_EQ(header[264], 0xFB);
  EXPECT_EQ(header[267], 0xFF);
  const auto decoded = decodeSetHeader(header);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->name, "set");
  EXPECT_EQ(decoded->written, 2.0);
  EXPECT_EQ(decoded->count, -5);

  sf_file2 e;
  e.name = "C:\\\x95\x5C.txt";  // the trail byte of the kanji is a backslash
  e.time = 0x5B875000;
  e.size = -1;
  e.attributes = 0x21;
  for (size_t i = 0; i < e.finddata.size(); ++i) e.finddata[i] = uint8_t(i * 7 + 1);
  const auto block = encodeFileEntry(e);
  EXPECT_EQ(block[264], 0xFF);
  EXPECT_EQ(block[268], 0x21);
  EXPECT_EQ(block[272], e.finddata[0]);
  EXPECT_EQ(block[591], e.finddata[319]);  // the two spare bytes travel verbatim too
  const auto back = decodeFileEntry(block);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->name, e.name);
  EXPECT_EQ(back->time, e.time);
  EXPECT_EQ(back->size, -1);
  EXPECT_EQ(back->attributes, 0x21u);
  EXPECT_EQ(back->finddata, e.finddata);
}

TEST(Records, TextFieldsWithoutZeroByteHold256Bytes) {
  const std::string longName(300, 'x');
  const auto header = encodeSetHeader({longName, 0, 0});
  const auto decoded = decodeSetHeader(header);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->name, std::string(256, 'x'));
  EXPECT_EQ(header[256], 0);  // the time field is untouched

  // Bytes after the zero byte carry nothing.
  auto block = encodeFileEntry(sf_file2{"ab", 0, 0, 0, {}});
  block[10] = 'z';
  EXPECT_EQ(decodeFileEntry(block)->name, "ab");
  EXPECT_TRUE(fitsTextField(std::string(255, 'a')));
  EXPECT_FALSE(fitsTextField(std::string(256, 'a')));
}

TEST(Records, DecodersRefuseOtherSizes) {
  const std::vector<uint8_t> bytes(700, 0x41);
  for (size_t n : {size_t{0}, size_t{4}, size_t{267}, size_t{269}, size_t{519}, size_t{521},
                   size_t{591}, size_t{593}}) {
    const std::span<const uint8_t> block(bytes.data(), n);
    EXPECT_FALSE(decodeVolumeLabel(block)) << n;
    EXPECT_FALSE(decodeSetHeader(block)) << n;
    EXPECT_FALSE(decodeFileEntry(block)) << n;
  }
}

// The entry's own size field holds the low half, signed; the find-data record both halves.
TEST(EntrySizeTest, WholeSizeFromTheFindDataRecordWhenItAgrees) {
  const struct {
    int32_t field;
    uint32_t high, low;
    uint64_t size;
  } cases[] = {
      {10, 1, 10, 4294967306ull},                  // 4 GiB + 10
      {INT32_MIN, 0, 0x80000000u, 2147483648ull},  // 2 GiB: negative in the field
      {INT32_MIN, 0, 0, 2147483648ull},            // a record left empty
      {5, 7, 6, 5},                                // a record that disagrees
      {2147483647, 0, 2147483647, 2147483647ull},
  };
  for (const auto& c : cases) {
    sf_file2 e;
    e.size = c.field;
    FindData record;
    record.sizeHigh = c.high;
    record.sizeLow = c.low;
    e.finddata = encodeFindData(record);
    EXPECT_EQ(wholeFileSize(e), c.size) << c.field;
    EXPECT_EQ(fitsStream(wholeFileSize(e)), c.size <= 2147483647ull);
  }
}

}  // namespace
}  // namespace korv
