#include <gtest/gtest.h>

#include "tape/records.h"
#include "tape/volume_fixture.h"

namespace korv::test {
namespace {

using Spaces = std::vector<std::pair<int32_t, bool>>;

class MaintenanceTest : public VolumeFixture {
 protected:
  // The set count both ways, traced commands left as they were.
  std::pair<int32_t, int32_t> countBothWays() {
    const auto saved = trace;
    sf->UseEod = true;
    const int32_t byFilemarks = sf->CountSets();
    sf->UseEod = false;
    const int32_t byHeaders = sf->CountSets();
    sf->UseEod = true;
    trace = saved;
    return {byFilemarks, byHeaders};
  }
  int filemarkWrites() const { return countCommands(0x10); }
};

TEST_F(MaintenanceTest, DeleteFromFirstSetRewritesTheLabelFilemark) {
  insert(threeSets());
  ASSERT_TRUE(sf->DeleteSetsFrom(1));
  EXPECT_EQ(filemarkSpaces(trace), (Spaces{{1, true}, {-1, true}}));
  EXPECT_EQ(filemarkWrites(), 1);
  EXPECT_EQ(drive().position(), 0u);
  // Label record and its filemark are all that is left.
  EXPECT_EQ(readFileBytes(imagePath).size(), 4 + 520 + 4 + 4u);
  EXPECT_EQ(countBothWays(), std::make_pair(0, 0));
}

TEST_F(MaintenanceTest, DeleteFromSecondSetKeepsTheFirst) {
  insert(threeSets());
  ASSERT_TRUE(sf->DeleteSetsFrom(2));
  EXPECT_EQ(filemarkSpaces(trace), (Spaces{{3, true}, {-1, true}}));
  EXPECT_EQ(countBothWays(), std::make_pair(1, 1));
  std::string name;
  ASSERT_TRUE(sf->ReadFirstSetName(name));
  EXPECT_EQ(name, "one");
  EXPECT_FALSE(sf->ReadNextSetName(name));
}

TEST_F(MaintenanceTest, DeleteFromOneBeyondTheLastSetChangesNothing) {
  insert(threeSets());
  const auto before = readFileBytes(imagePath);
  ASSERT_TRUE(sf->DeleteSetsFrom(4));
  EXPECT_EQ(filemarkSpaces(trace), (Spaces{{7, true}, {-1, true}}));
  EXPECT_EQ(filemarkWrites(), 1);
  EXPECT_EQ(readFileBytes(imagePath), before);  // the last filemark written again in place
  EXPECT_EQ(countBothWays(), std::make_pair(3, 3));
}

TEST_F(MaintenanceTest, DeleteFromFurtherOnFailsAtTheSpace) {
  insert(threeSets());
  const auto before = readFileBytes(imagePath);
  EXPECT_FALSE(sf->DeleteSetsFrom(5));
  EXPECT_EQ(filemarkSpaces(trace), (Spaces{{9, false}}));
  EXPECT_EQ(filemarkWrites(), 0);
  EXPECT_EQ(readFileBytes(imagePath), before);
}

TEST_F(MaintenanceTest, DeleteFromNothingOrTooFarSendsNothing) {
  insert(threeSets());
  EXPECT_FALSE(sf->DeleteSetsFrom(0));
  EXPECT_FALSE(sf->DeleteSetsFrom(-3));
  EXPECT_FALSE(sf->DeleteSetsFrom(4194305));  // 2n - 1 beyond a SPACE count
  EXPECT_EQ(countCommands(0x01), 1);          // only the rewind of the last one
  EXPECT_EQ(countCommands(0x11) + filemarkWrites(), 0);
}

TEST_F(MaintenanceTest, DeleteLastSetLeavesTwoOfThree) {
  for (const bool useEod : {true, false}) {
    SCOPED_TRACE(useEod);
    insert(threeSets());
    sf->UseEod = useEod;
    ASSERT_TRUE(sf->DeleteLastSet());
    EXPECT_EQ(filemarkWrites(), 1);
    EXPECT_EQ(drive().position(), 0u);
    EXPECT_EQ(countBothWays(), std::make_pair(2, 2));
  }
}

TEST_F(MaintenanceTest, DeleteLastSetRemovesAnIncompleteLastSet) {
  const std::vector<sf_file2> files = {makeEntry("/x", 3)};
  TapBuilder tap;
  tap.volume().set("one").set("two");
  const size_t endOfTwo = tap.bytes.size();
  tap.catalogue("three", files).data(files, {}, false);
  insert(tap);

  ASSERT_TRUE(sf->DeleteLastSet());
  EXPECT_EQ(readFileBytes(imagePath).size(), endOfTwo);
  EXPECT_EQ(countBothWays(), std::make_pair(2, 2));
}

TEST_F(MaintenanceTest, DeleteLastSetOnAVolumeWithoutSetsFails) {
  insert(TapBuilder().volume());
  const auto before = readFileBytes(imagePath);
  EXPECT_FALSE(sf->DeleteLastSet());
  // Asked to space back from the beginning of the tape, the drive refuses.
  EXPECT_EQ(filemarkSpaces(trace).back(), std::make_pair(-1, false));
  EXPECT_EQ(filemarkWrites(), 0);
  EXPECT_EQ(readFileBytes(imagePath), before);
}

TEST_F(MaintenanceTest, FormatOverSetsLeavesAnEmptyVolume) {
  insert(threeSets());
  ASSERT_TRUE(sf->FormatVolume());
  EXPECT_EQ(countBothWays(), std::make_pair(0, 0));
  std::string tapeName;
  EXPECT_TRUE(sf->MountVolume(tapeName));
}

}  // namespace
}  // namespace korv::test
