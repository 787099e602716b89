#include "scsi/emulated_drive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "drive_commands.h"
#include "support/temp_dir.h"

namespace korv::test {
namespace {

std::string sense(const DriveOutcome& o) {
  return describeSense(o.sense);
}

class EmulatedDriveTest : public ::testing::Test {
 protected:
  void SetUp() override { reopen(); }

  // A new drive over the same image, as a later program run would have.
  void reopen() {
    drive.reset();
    drive = std::make_unique<EmulatedDrive>(path);
    tape = std::make_unique<DriveCommands>(*drive);
  }

  void writeAll(std::initializer_list<std::string> records) {
    for (const auto& r : records) {
      if (r == "FM") {
        ASSERT_TRUE(tape->writeFilemarks(1).good);
      } else {
        ASSERT_TRUE(tape->write(r).good);
      }
    }
  }

  // The file's size once the drive's buffer is out.
  uint64_t imageSize() const {
    drive->flushBuffer();
    return std::filesystem::file_size(path);
  }

  TempDir dir;
  std::string path = (dir.path() / "tape.tap").string();
  std::unique_ptr<EmulatedDrive> drive;
  std::unique_ptr<DriveCommands> tape;
};

TEST_F(EmulatedDriveTest, WritesRecordsAndFilemarksInTheImageFormat) {
  writeAll({"abc", "wxyz", "FM"});
  ImageBuilder expected;
  expected.word(3);
  expected.bytes.insert(expected.bytes.end(), {'a', 'b', 'c', 0});  // one pad byte
  expected.word(3).word(4);
  expected.bytes.insert(expected.bytes.end(), {'w', 'x', 'y', 'z'});
  expected.word(4).word(0);
  EXPECT_EQ(readFileBytes(path), expected.bytes);
  EXPECT_EQ(drive->position(), expected.bytes.size());
}

TEST_F(EmulatedDriveTest, EveryWriteIsSeenByALaterDriveOverTheSameImage) {
  writeAll({"first", "FM", "second"});
  reopen();
  EXPECT_TRUE(tape->testUnitReady().good);
  EXPECT_EQ(tape->readText(5), "first");
  DriveOutcome o;
  tape->readText(6, &o);
  EXPECT_TRUE(o.sense.filemark);
  EXPECT_EQ(tape->readText(6), "second");
}

TEST_F(EmulatedDriveTest, MissingImageIsABlankCartridgeMadeAtTheFirstWrite) {
  EXPECT_TRUE(tape->testUnitReady().good);
  EXPECT_TRUE(tape->rewind().good);
  std::vector<uint8_t> buffer;
  EXPECT_EQ(sense(tape->read(10, buffer)), "sense 8/00/05 EOM info 10");
  EXPECT_TRUE(tape->spaceToEnd().good);
  EXPECT_TRUE(tape->erase().good);
  EXPECT_FALSE(std::filesystem::exists(path));
  writeAll({"x"});
  EXPECT_EQ(imageSize(), 10u);
}

TEST_F(EmulatedDriveTest, ReadOfAnotherLengthFailsWithIliAndConsumesTheBlock) {
  writeAll({"hello", "world!", "tail"});
  tape->rewind();
  std::vector<uint8_t> buffer;
  DriveOutcome shortRead = tape->read(3, buffer);  // the block is longer than asked
  EXPECT_EQ(sense(shortRead), "sense 0/00/00 ILI info -2");
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "hel");

  DriveOutcome longRead = tape->read(10, buffer);  // the block is shorter
  EXPECT_EQ(sense(longRead), "sense 0/00/00 ILI info 4");
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 6), "world!");
  EXPECT_EQ(buffer[6], 0xEE) << "nothing beyond the block is touched";

  // SILI excuses a short block, never a long one.
  EXPECT_TRUE(tape->read(10, buffer, true).good);
  EXPECT_TRUE(tape->rewind().good);
  EXPECT_TRUE(tape->read(3, buffer, true).sense.ili);
}

TEST_F(EmulatedDriveTest, ReadMeetingAFilemarkFailsAndMovesPastIt) {
  writeAll({"a1", "FM", "b1", "FM"});
  tape->rewind();
  EXPECT_EQ(tape->readText(2), "a1");
  DriveOutcome o;
  tape->readText(2, &o);
  EXPECT_EQ(sense(o), "sense 0/00/01 FM info 2");
  EXPECT_EQ(tape->readText(2), "b1");
}

TEST_F(EmulatedDriveTest, ReadAndSpaceAtEndOfDataFailBlankCheckAndStay) {
  writeAll({"only"});
  uint64_t end = drive->position();
  std::vector<uint8_t> buffer;
  EXPECT_EQ(sense(tape->read(4, buffer)), "sense 8/00/05 EOM info 4");
  EXPECT_EQ(sense(tape->spaceBlocks(2)), "sense 8/00/05 EOM info 2");
  EXPECT_EQ(sense(tape->spaceFilemarks(1)), "sense 8/00/05 EOM info 1");
  EXPECT_EQ(drive->position(), end);
  writeAll({"next"});  // appends right where the data ended
  tape->rewind();
  EXPECT_EQ(tape->readText(4), "only");
  EXPECT_EQ(tape->readText(4), "next");
}

TEST_F(EmulatedDriveTest, SpaceFilemarksBothWays) {
  writeAll({"s1", "FM", "s2a", "s2b", "FM", "s3"});
  tape->rewind();
  EXPECT_TRUE(tape->spaceFilemarks(2).good);
  EXPECT_EQ(tape->readText(2), "s3");

  // Backward: over the records to the side of the filemark toward the beginning.
  EXPECT_TRUE(tape->spaceFilemarks(-1).good);
  DriveOutcome o;
  tape->readText(3, &o);
  EXPECT_TRUE(o.sense.filemark) << "positioned just before the second filemark";
  EXPECT_TRUE(tape->spaceFilemarks(-2).good);
  tape->readText(3, &o);
  EXPECT_TRUE(o.sense.filemark) << "just before the first filemark";

  tape->rewind();
  EXPECT_EQ(sense(tape->spaceFilemarks(-1)), "sense 0/00/04 EOM info 1");
  EXPECT_EQ(drive->position(), 0u);
  EXPECT_TRUE(tape->spaceFilemarks(1).good);
  EXPECT_EQ(sense(tape->spaceFilemarks(-2)), "sense 0/00/04 EOM info 1")
      << "one filemark was passed before the beginning of the tape";
}

TEST_F(EmulatedDriveTest, SpaceBlocksStopsAtFilemarks) {
  writeAll({"b1", "b2", "FM", "b3"});
  tape->rewind();
  EXPECT_EQ(sense(tape->spaceBlocks(5)), "sense 0/00/01 FM info 3");
  EXPECT_EQ(tape->readText(2), "b3") << "forward: stops after the filemark";
  EXPECT_EQ(sense(tape->spaceBlocks(-3)), "sense 0/00/01 FM info 2");
  DriveOutcome o;
  tape->readText(2, &o);
  EXPECT_TRUE(o.sense.filemark) << "backward: stops before the filemark";
  tape->rewind();
  EXPECT_TRUE(tape->spaceBlocks(1).good);
  EXPECT_EQ(tape->readText(2), "b2");
  EXPECT_TRUE(tape->spaceBlocks(-2).good);
  EXPECT_EQ(drive->position(), 0u);
  EXPECT_EQ(sense(tape->spaceBlocks(-1)), "sense 0/00/04 EOM info 1");
}

TEST_F(EmulatedDriveTest, SpaceToEndOfDataAndSetmarks) {
  writeAll({"x1", "FM", "x2", "FM"});
  uint64_t end = drive->position();
  tape->rewind();
  EXPECT_TRUE(tape->spaceToEnd().good);
  EXPECT_EQ(drive->position(), end);
  tape->rewind();
  EXPECT_EQ(sense(tape->space(4, 1)), "sense 8/00/05 EOM info 1") << "no setmarks here";
  EXPECT_EQ(drive->position(), end);
  EXPECT_EQ(sense(tape->space(4, -1)), "sense 0/00/04 EOM info 1");
  EXPECT_EQ(sense(tape->space(2, 1)), "sense 5/24/00");
}

TEST_F(EmulatedDriveTest, WritingInTheMiddleEndsTheRecordedDataThere) {
  writeAll({"keep", "old1", "FM", "old2"});
  tape->rewind();
  tape->spaceBlocks(1);
  writeAll({"new"});
  EXPECT_EQ(imageSize(), 12u + 12u);
  DriveOutcome o;
  tape->readText(4, &o);
  EXPECT_EQ(o.sense.key, SENSE_BLANK_CHECK);

  tape->rewind();
  tape->spaceBlocks(1);
  EXPECT_TRUE(tape->writeFilemarks(2).good);
  EXPECT_EQ(imageSize(), 12u + 8u);

  tape->rewind();
  EXPECT_TRUE(tape->write("").good);  // an empty block is not recorded
  EXPECT_EQ(imageSize(), 20u);
  EXPECT_EQ(tape->readText(4), "keep");
  EXPECT_TRUE(tape->erase().good);
  EXPECT_EQ(imageSize(), 12u);
  EXPECT_TRUE(tape->spaceToEnd().good);
  EXPECT_EQ(drive->position(), 12u);
}

// The drive goes straight to the filemarks of files it wrote itself; whatever it does, it
// must end where a drive that reads every record would end, also after a write cut them.
TEST_F(EmulatedDriveTest, SpacingOverFilesItWroteEndsWhereReadingThemWould) {
  struct Step {
    const char* what;  // "rewind", "read", "fm+N" / "fm-N", "eod", or a record to write
  };
  const std::vector<std::vector<Step>> cases = {
      {{"rewind"}, {"fm+2"}, {"read"}, {"fm+1"}},
      {{"rewind"}, {"read"}, {"fm+1"}, {"read"}, {"eod"}},  // from inside a file
      {{"rewind"}, {"fm+1"}, {"cut"}, {"rewind"}, {"fm+2"}, {"read"}},
      {{"rewind"}, {"fm+1"}, {"read"}, {"cut"}, {"rewind"}, {"fm+3"}, {"eod"}},
      {{"rewind"}, {"fm+3"}, {"fm-2"}, {"cut"}, {"rewind"}, {"eod"}, {"fm+1"}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    std::vector<std::string> seen[2];
    for (int pass = 0; pass < 2; ++pass) {
      std::filesystem::remove(path);
      reopen();
      writeAll({"a1", "a2", "FM", "b1", "b2", "b3", "FM", "FM", "c1"});
      if (pass == 1) reopen();  // knows nothing of what was written
      for (const Step& step : cases[i]) {
        const std::string what = step.what;
        DriveOutcome o;
        if (what == "rewind") {
          o = tape->rewind();
        } else if (what == "read") {
          tape->readText(2, &o);
        } else if (what == "eod") {
          o = tape->spaceToEnd();
        } else if (what == "cut") {
          o = tape->write("zz");
        } else {
          o = tape->spaceFilemarks(std::stoi(what.substr(2)));
        }
        seen[pass].push_back(what + " " + sense(o) + " at " + std::to_string(drive->position()));
      }
    }
    EXPECT_EQ(seen[0], seen[1]);
  }
}

TEST_F(EmulatedDriveTest, UnloadLeavesNoMediumUntilLoaded) {
  writeAll({"data"});
  EXPECT_TRUE(tape->unload().good);
  EXPECT_EQ(sense(tape->testUnitReady()), "sense 2/3A/00");
  std::vector<uint8_t> buffer;
  EXPECT_EQ(sense(tape->read(4, buffer)), "sense 2/3A/00");
  EXPECT_EQ(sense(tape->write("more")), "sense 2/3A/00");
  EXPECT_EQ(sense(tape->unload()), "sense 2/3A/00");

  // The cartridge is out, so another drive may have the image meanwhile.
  {
    EmulatedDrive other(path);
    EXPECT_TRUE(DriveCommands(other).testUnitReady().good);
  }
  drive->load();
  EXPECT_TRUE(tape->testUnitReady().good);
  EXPECT_EQ(drive->position(), 0u);
  EXPECT_EQ(tape->readText(4), "data");

  tape->unload();
  EXPECT_TRUE(tape->load().good);
  EXPECT_TRUE(tape->testUnitReady().good);
}

TEST_F(EmulatedDriveTest, InquiryAnswersWithoutMediumAndHonoursTheAllocation) {
  drive->setFaults({.noMedium = true});
  std::vector<uint8_t> buffer(64, 0xEE);
  ASSERT_TRUE(tape->send({0x12, 0, 0, 0, 36, 0}, DataDirection::In, buffer.data(), 64).good);
  EXPECT_EQ(buffer[0], 0x01);
  EXPECT_EQ(buffer[1], 0x80);
  EXPECT_EQ(
      std::string(buffer.begin() + 8, buffer.begin() + 36),
      std::string(EmulatedDrive::kVendor) + EmulatedDrive::kProduct + EmulatedDrive::kRevision);
  EXPECT_EQ(buffer[36], 0xEE);

  std::vector<uint8_t> small(8, 0xEE);
  ASSERT_TRUE(tape->send({0x12, 0, 0, 0, 5, 0}, DataDirection::In, small.data(), 8).good);
  EXPECT_EQ(small[4], 31);
  EXPECT_EQ(small[5], 0xEE);
  EXPECT_EQ(sense(tape->send({0x12, 1, 0x80, 0, 36, 0}, DataDirection::In, buffer.data(), 64)),
            "sense 5/24/00");
}

TEST_F(EmulatedDriveTest, RefusesWhatItCannotDo) {
  EXPECT_EQ(sense(tape->send({0x03, 0, 0, 0, 18, 0})), "sense 5/20/00");
  std::vector<uint8_t> buffer(16);
  EXPECT_EQ(sense(tape->send({0x08, 0x01, 0, 0, 1, 0}, DataDirection::In, buffer.data(), 16)),
            "sense 5/24/00")
      << "fixed-block mode";
  EXPECT_EQ(sense(tape->send({0x08, 0, 0, 0, 17, 0}, DataDirection::In, buffer.data(), 16)),
            "sense 5/24/00")
      << "a read longer than the buffer";
}

TEST_F(EmulatedDriveTest, SecondDriveOverALockedImageIsBusyUntilReleased) {
  writeAll({"mine"});
  auto other = std::make_unique<EmulatedDrive>(path);
  DriveCommands second(*other);
  DriveOutcome o = second.testUnitReady();
  EXPECT_FALSE(o.good);
  EXPECT_EQ(o.scsiStatus, 8);
  EXPECT_EQ(second.write("theirs").scsiStatus, 8);
  EXPECT_TRUE(second.send({0x12, 0, 0, 0, 0, 0}).good) << "INQUIRY needs no medium";

  drive.reset();  // the first program ends
  EXPECT_TRUE(second.testUnitReady().good);
  EXPECT_EQ(second.readText(4), "mine");
}

TEST_F(EmulatedDriveTest, BlankCartridgesRaceForTheImageFile) {
  EmulatedDrive other(path);
  DriveCommands second(other);
  EXPECT_TRUE(second.testUnitReady().good);
  writeAll({"first"});
  EXPECT_EQ(second.write("late").scsiStatus, 8);
  EXPECT_EQ(imageSize(), 14u);
}

TEST_F(EmulatedDriveTest, WriteProtectedCartridgeRefusesEveryChange) {
  writeAll({"kept"});
  drive->setFaults({.writeProtected = true});
  EXPECT_EQ(sense(tape->write("no")), "sense 7/27/00");
  EXPECT_EQ(sense(tape->writeFilemarks(1)), "sense 7/27/00");
  tape->rewind();
  EXPECT_EQ(sense(tape->erase()), "sense 7/27/00");
  EXPECT_EQ(imageSize(), 12u);
  EXPECT_EQ(tape->readText(4), "kept");
}

TEST_F(EmulatedDriveTest, ReadOnlyImageFileIsWriteProtected) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  writeAll({"kept"});
  reopen();
  chmod(path.c_str(), 0444);
  EXPECT_EQ(tape->readText(4), "kept");
  EXPECT_EQ(sense(tape->write("no")), "sense 7/27/00");
}

TEST_F(EmulatedDriveTest, CapacityLimitFailsTheWriteThatWouldOverflow) {
  drive->setFaults({.capacityBytes = 40});
  writeAll({std::string(20, 'a')});  // 28 bytes
  EXPECT_EQ(sense(tape->write(std::string(5, 'b'))), "sense D/00/02 EOM info 5");
  EXPECT_EQ(imageSize(), 28u);
  EXPECT_TRUE(tape->write("1234").good);  // exactly 40
  EXPECT_EQ(sense(tape->writeFilemarks(1)), "sense D/00/02 EOM info 1");
  EXPECT_EQ(imageSize(), 40u);
}

// Past the early warning a drive still records, and says so with every write; at the
// end it records nothing.
TEST_F(EmulatedDriveTest, CartridgeCapacityWarnsEarlyThenEnds) {
  drive->setCapacity({.endOfMedium = 40, .earlyWarning = 20});
  writeAll({"12345678"});  // 16 bytes: before the warning
  EXPECT_EQ(sense(tape->write("1234")), "sense 0/00/02 EOM info 0");  // 28: recorded
  EXPECT_EQ(imageSize(), 28u);
  EXPECT_EQ(sense(tape->writeFilemarks(1)), "sense 0/00/02 EOM info 0");
  EXPECT_EQ(sense(tape->write("123")), "sense D/00/02 EOM info 3");  // would end at 44
  EXPECT_EQ(imageSize(), 32u);
  tape->rewind();
  EXPECT_EQ(tape->readText(8), "12345678");
  EXPECT_EQ(tape->readText(4), "1234");
}

TEST(MediumCapacity, EarlyWarningZoneFitsABlockAndStaysWithinTheMedium) {
  struct Case {
    uint64_t bytes, warning;
  };
  const Case cases[] = {
      {0, 0},
      {1 << 20, (1 << 20) - (256 << 10)},                         // at least 256 KiB
      {uint64_t{160} << 20, (uint64_t{160} << 20) - (10 << 20)},  // a sixteenth
      {uint64_t{4} << 30, (uint64_t{4} << 30) - (64 << 20)},      // at most 64 MiB
      {100 << 10, 50 << 10},                                      // never more than half
  };
  for (const Case& c : cases) {
    const MediumCapacity capacity = MediumCapacity::ofSize(c.bytes);
    EXPECT_EQ(capacity.endOfMedium, c.bytes);
    EXPECT_EQ(capacity.earlyWarning, c.warning) << c.bytes;
  }
}

TEST_F(EmulatedDriveTest, FaultPlanFailsTheKthCommandOfEachKindAndChangesNothing) {
  drive->setFaults({.failWriteAt = 2, .failFilemarkAt = 1});
  EXPECT_TRUE(tape->write("one").good);
  EXPECT_EQ(sense(tape->write("two")), "sense 3/0C/00");
  EXPECT_TRUE(tape->write("333").good);
  EXPECT_EQ(sense(tape->writeFilemarks(1)), "sense 3/0C/00");
  EXPECT_TRUE(tape->writeFilemarks(1).good);
  EXPECT_EQ(imageSize(), 2 * 12u + 4);

  drive->setFaults({.failReadAt = 2, .failRewindAt = 1, .failSpaceAt = 1});
  uint64_t end = drive->position();
  EXPECT_EQ(tape->rewind().sense.key, SENSE_HARDWARE_ERROR);
  EXPECT_EQ(tape->spaceBlocks(-1).sense.key, SENSE_MEDIUM_ERROR);
  EXPECT_EQ(drive->position(), end);
  EXPECT_TRUE(tape->rewind().good);
  EXPECT_EQ(tape->readText(3), "one");
  DriveOutcome o;
  tape->readText(3, &o);
  EXPECT_EQ(sense(o), "sense 3/11/00");
  EXPECT_EQ(tape->readText(3), "333") << "the failed read did not move the tape";

  drive->setFaults({.noMedium = true});
  EXPECT_EQ(sense(tape->testUnitReady()), "sense 2/3A/00");
  drive->setFaults({});
  EXPECT_TRUE(tape->testUnitReady().good);
}

}  // namespace
}  // namespace korv::test
