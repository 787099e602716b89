// The volume's tail as interrupted runs leave it: found, and cut as the set list shows it,
// whichever positioning the drive is set to. Appends behind it: interrupted_backup_test.

#include "tape/volume_tail.h"

#include <gtest/gtest.h>

#include "tape/volume_fixture.h"

namespace korv::test {
namespace {

using Names = std::vector<std::string>;

struct TailCase {
  const char* what;
  TailState state;
  Names listed;       // the set list before anything is done
  Names afterDelete;  // the set list after the last set is deleted
};

const std::vector<sf_file2> kThree = {makeEntry("/c/x", 70000), makeEntry("/c/y", 5)};

// Two complete sets, then the tail of the case.
TapBuilder volumeWith(TailState state) {
  TapBuilder tap;
  tap.volume().set("one", {makeEntry("/a/1", 10)}).set("two", {makeEntry("/b/2", 70000)});
  if (state == TailState::OpenDataFile) tap.catalogue("three", kThree).data(kThree, {}, false);
  if (state == TailState::CutCatalogue) tap.catalogue("three", kThree, false);
  return tap;
}

const TailCase kCases[] = {
    {"clean", TailState::Clean, {"one", "two"}, {"one"}},
    {"data file without its filemark",
     TailState::OpenDataFile,
     {"one", "two", "three"},
     {"one", "two"}},
    {"cut catalogue", TailState::CutCatalogue, {"one", "two", "three"}, {"one", "two"}},
};

class VolumeTailTest : public VolumeFixture {
 protected:
  Names setNames() {
    Names names;
    std::string name;
    if (!sf->ReadFirstSetName(name)) return names;
    do names.push_back(name);
    while (sf->ReadNextSetName(name));
    return names;
  }

  // Set 2's data file as the builder wrote it: its header, a full block, the rest.
  void expectSetTwoIntact() {
    std::string name;
    ASSERT_TRUE(sf->OpenSet(2, name));
    std::vector<uint8_t> block(65536);
    ASSERT_TRUE(sf->TapeRead(block.data(), 4));
    EXPECT_EQ(loadLE32(block.data()), 70000u);
    ASSERT_TRUE(sf->TapeRead(block.data(), 65536));
    ASSERT_TRUE(sf->TapeRead(block.data(), 70000 - 65536));
    EXPECT_EQ(block[0], 'b');
    EXPECT_FALSE(sf->TapeRead(block.data(), 4));  // its ending filemark
  }
};

TEST_F(VolumeTailTest, DeleteLastRemovesOnlyTheSetListedLast) {
  for (const auto& c : kCases) {
    for (const bool useEod : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (useEod ? " / end-of-data" : " / counting"));
      insert(volumeWith(c.state));
      ASSERT_TRUE(sf->DeleteSetsFrom(static_cast<int32_t>(c.listed.size())));
      const auto cutFrom = readFileBytes(imagePath);
      insert(volumeWith(c.state));
      sf->UseEod = useEod;
      const auto tail = surveyTail(*sf);
      ASSERT_TRUE(tail);
      EXPECT_EQ(tail->state, c.state);
      EXPECT_EQ(setNames(), c.listed);
      ASSERT_TRUE(sf->DeleteLastSet());
      EXPECT_EQ(readFileBytes(imagePath), cutFrom);  // delete-from agrees on the last set
      EXPECT_EQ(setNames(), c.afterDelete);
      if (c.afterDelete.size() == 2) expectSetTwoIntact();
    }
  }
}

// A walk stopped by a read or space error in the middle would take a set there for the
// last one: an append would cut off, a filemark overwrite, every set behind it.
TEST_F(VolumeTailTest, AWalkStoppedBeforeTheEndChangesNothing) {
  const FaultPlan faults[] = {
      {.failReadAt = 1}, {.failReadAt = 3}, {.failSpaceAt = 2}, {.failSpaceAt = 5}};
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.failReadAt * 10 + fault.failSpaceAt);
    insert(volumeWith(TailState::Clean).set("three"));
    const auto before = readFileBytes(imagePath);
    drive().setFaults(fault);
    sf->Catalogue.clear();
    std::string name = "new";
    EXPECT_FALSE(sf->OpenSet(0, name));
    drive().setFaults(fault);
    EXPECT_FALSE(sf->DeleteLastSet());
    EXPECT_EQ(readFileBytes(imagePath), before);
  }
}

}  // namespace
}  // namespace korv::test
