// Images as other tools write them, and images a crash left behind.

#include <gtest/gtest.h>

#include <filesystem>

#include "drive_commands.h"
#include "scsi/emulated_drive.h"
#include "scsi/tape_image.h"
#include "support/temp_dir.h"

namespace korv::test {
namespace {

class TapeImageTest : public ::testing::Test {
 protected:
  DriveCommands& over(const ImageBuilder& image) {
    writeFile(path, image.bytes);
    drive = std::make_unique<EmulatedDrive>(path);
    tape = std::make_unique<DriveCommands>(*drive);
    return *tape;
  }

  TempDir dir;
  std::string path = (dir.path() / "dump.tap").string();
  std::unique_ptr<EmulatedDrive> drive;
  std::unique_ptr<DriveCommands> tape;
};

TEST_F(TapeImageTest, EraseGapsAreSkippedAndTheEndMarkerEndsTheData) {
  ImageBuilder image;
  image.gap().record("odd").gap().gap().filemark().record("even").endOfMedium().record("ghost");
  DriveCommands& t = over(image);
  EXPECT_EQ(t.readText(3), "odd");
  DriveOutcome o;
  t.readText(4, &o);
  EXPECT_TRUE(o.sense.filemark);
  EXPECT_EQ(t.readText(4), "even");
  t.readText(5, &o);
  EXPECT_EQ(o.sense.key, SENSE_BLANK_CHECK) << "nothing after the end marker is data";

  // Backward over gaps as well, and the end of data found the same way by spacing.
  EXPECT_TRUE(t.spaceFilemarks(-1).good);
  EXPECT_TRUE(t.spaceBlocks(-1).good);
  EXPECT_EQ(drive->position(), 4u) << "the first record starts after the leading gap";
  EXPECT_TRUE(t.spaceToEnd().good);
  uint64_t end = drive->position();

  // Writing there replaces the end marker and whatever followed it.
  ASSERT_TRUE(t.write("new").good);
  drive->flushBuffer();
  EXPECT_EQ(std::filesystem::file_size(path), end + 12);
  t.rewind();
  EXPECT_TRUE(t.spaceFilemarks(1).good);
  EXPECT_EQ(t.readText(4), "even");
  EXPECT_EQ(t.readText(3), "new");
}

TEST_F(TapeImageTest, BadRecordFailsAsAMediumErrorAndIsPassed) {
  ImageBuilder image;
  image.record("good").record("bad!", 0x80000000).record("after");
  DriveCommands& t = over(image);
  EXPECT_EQ(t.readText(4), "good");
  DriveOutcome o;
  t.readText(4, &o);
  EXPECT_EQ(describeSense(o.sense), "sense 3/11/00");
  EXPECT_EQ(t.readText(5), "after");
  t.rewind();
  EXPECT_TRUE(t.spaceBlocks(3).good) << "spacing passes a bad record like any other";
}

TEST_F(TapeImageTest, RecordCutOffByACrashReadsAsEndOfDataAndIsCutByTheNextWrite) {
  ImageBuilder intact;
  intact.record("first").filemark().record("second");
  ImageBuilder image = intact;
  image.word(100);
  image.bytes.insert(image.bytes.end(), 40, 'x');  // the crash came mid-record
  DriveCommands& t = over(image);

  EXPECT_TRUE(t.testUnitReady().good);
  EXPECT_TRUE(t.spaceToEnd().good);
  EXPECT_EQ(drive->position(), intact.bytes.size());
  t.rewind();
  EXPECT_EQ(t.readText(5), "first");
  EXPECT_TRUE(t.spaceFilemarks(1).good);
  EXPECT_EQ(t.readText(6), "second");
  DriveOutcome o;
  t.readText(100, &o);
  EXPECT_EQ(o.sense.key, SENSE_BLANK_CHECK);
  EXPECT_EQ(drive->position(), intact.bytes.size());

  ASSERT_TRUE(t.write("third").good);
  drive->flushBuffer();
  ImageBuilder expected = intact;
  expected.record("third");
  EXPECT_EQ(readFileBytes(path), expected.bytes);
}

TEST_F(TapeImageTest, DamagedTailsEndTheData) {
  struct Case {
    const char* what;
    ImageBuilder tail;
  };
  std::vector<Case> cases;
  cases.push_back({"half a length word", {}});
  cases.back().tail.bytes = {0x05, 0x00};
  cases.push_back({"trailing word disagrees", {}});
  cases.back().tail.word(4).word(0x61616161).word(5);
  cases.push_back({"a word this format does not define", {}});
  cases.back().tail.record("abcd", 0x01000000);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ImageBuilder image;
    image.record("ok");
    image.bytes.insert(image.bytes.end(), c.tail.bytes.begin(), c.tail.bytes.end());
    DriveCommands& t = over(image);
    EXPECT_EQ(t.readText(2), "ok");
    DriveOutcome o;
    t.readText(4, &o);
    EXPECT_EQ(o.sense.key, SENSE_BLANK_CHECK);
    t.rewind();
    EXPECT_EQ(describeSense(t.spaceBlocks(2).sense), "sense 8/00/05 EOM info 1");
    EXPECT_EQ(drive->position(), 10u);
  }
}

TEST_F(TapeImageTest, LargeRecordReadsStraightIntoTheBuffer) {
  std::string block(65536, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
  ImageBuilder image;
  image.record(block).record(block.substr(1));  // even and odd lengths
  DriveCommands& t = over(image);
  EXPECT_EQ(t.readText(65536), block);
  EXPECT_EQ(t.readText(65535), block.substr(1));
}

// A record whose trailing word was checked first and whose data is read after it: once
// the read-ahead had turned sparse, a record of 4 to 32 KiB read that way landed in front
// of its window and read as cut off, on an intact image.
TEST_F(TapeImageTest, RecordsReadAfterTheirTrailerComeBackWhole) {
  ImageBuilder image;
  std::vector<std::string> records;
  for (int i = 0; i < 200; ++i) {
    records.push_back("head");
    records.push_back(std::string(65536, char('a' + i % 26)));
    records.push_back(std::string(10000 + i, char('A' + i % 26)));
  }
  for (const auto& r : records) image.record(r);
  writeFile(path, image.bytes);
  TapeImage tape;
  ASSERT_EQ(tape.open(path, false), TapeImage::OpenResult::Opened);
  std::vector<uint8_t> buffer(65536);
  uint64_t pos = 0;
  for (const auto& r : records) {
    const TapeImage::Entry e = tape.next(pos, true);
    ASSERT_EQ(e.kind, TapeImage::Entry::Kind::Record);
    ASSERT_EQ(tape.readRecord(e, buffer.data(), e.length), TapeImage::ReadResult::Ok) << pos;
    ASSERT_EQ(std::string(buffer.begin(), buffer.begin() + e.length), r);
    pos = e.end;
  }
}

// The drive's buffer changes when bytes reach the file, never which: writes that cross its
// size, odd lengths and writes in the middle of what is recorded leave exactly the image
// that unbuffered writes leave, and reads see every record wherever it is held.
TEST_F(TapeImageTest, BufferedWritesLeaveTheSameBytesAndReadBack) {
  DriveCommands& t = over(ImageBuilder{});
  ImageBuilder expected;
  std::vector<std::string> records;
  for (int i = 0; i < 40; ++i) records.push_back(std::string(65536 - (i % 3), char('a' + i % 26)));
  for (const auto& r : records) {
    ASSERT_TRUE(t.write(r).good);
    expected.record(r);
  }
  ASSERT_TRUE(t.write("odd").good);
  ASSERT_TRUE(t.write("cut").good);
  t.rewind();  // writes the buffer out
  ASSERT_TRUE(t.spaceBlocks(41).good);
  ASSERT_TRUE(t.write("new").good);  // the recorded data ends after it
  ASSERT_TRUE(t.write("gone").good);
  ASSERT_TRUE(t.spaceBlocks(-1).good);
  ASSERT_TRUE(t.write("last").good);
  ASSERT_TRUE(t.writeFilemarks(1).good);
  expected.record("odd").record("new").record("last").filemark();
  EXPECT_EQ(readFileBytes(path), expected.bytes);

  t.rewind();
  for (const auto& r : records) ASSERT_EQ(t.readText(static_cast<uint32_t>(r.size())), r);
  EXPECT_EQ(t.readText(3), "odd");
  EXPECT_EQ(t.readText(3), "new");
  EXPECT_EQ(t.readText(4), "last");
  ASSERT_TRUE(t.spaceBlocks(-2).good) << "backward over what the window holds";
  EXPECT_EQ(t.readText(3), "new");
}

}  // namespace
}  // namespace korv::test
