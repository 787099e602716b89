#include <gtest/gtest.h>

#include "sys/byte_order.h"
#include "sys/datetime.h"
#include "tape/records.h"
#include "tape/volume_fixture.h"

namespace korv::test {
namespace {

using Spaces = std::vector<std::pair<int32_t, bool>>;

class CatalogueTest : public VolumeFixture {
 protected:
  std::vector<std::string> setNames() {
    std::vector<std::string> names;
    std::string name;
    if (!sf->ReadFirstSetName(name)) return names;
    do names.push_back(name);
    while (sf->ReadNextSetName(name));
    return names;
  }
};

TEST_F(CatalogueTest, ThreeCompleteSetsCountBothWays) {
  threeSets().writeTo(imagePath);

  sf->UseEod = true;
  EXPECT_EQ(sf->CountSets(), 3);
  EXPECT_EQ(filemarkSpaces(trace), (Spaces{{1, true},
                                           {1, true},
                                           {1, true},
                                           {1, true},
                                           {1, true},
                                           {1, true},
                                           {1, true},
                                           {1, false}}));
  EXPECT_EQ(countCommands(0x08), 0);

  trace.clear();
  sf->UseEod = false;
  EXPECT_EQ(sf->CountSets(), 3);
  EXPECT_EQ(reads(trace, 268), std::make_pair(4, 3));  // three headers, then the end of data

  EXPECT_EQ(setNames(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(CatalogueTest, FreshVolumeHasNoSets) {
  TapBuilder().volume().writeTo(imagePath);
  sf->UseEod = true;
  EXPECT_EQ(sf->CountSets(), 0);
  sf->UseEod = false;
  EXPECT_EQ(sf->CountSets(), 0);
  std::string name = "before";
  EXPECT_FALSE(sf->ReadFirstSetName(name));
  EXPECT_EQ(name, "before");
}

TEST_F(CatalogueTest, LastSetWithoutClosingFilemarkStillCounts) {
  const std::vector<sf_file2> files = {makeEntry("/b/x", 70000), makeEntry("/b/y", 0)};
  TapBuilder tap;
  tap.volume().set("one").set("two").catalogue("three", files).data(files, {}, false);
  tap.writeTo(imagePath);

  sf->UseEod = true;
  EXPECT_EQ(sf->CountSets(), 3);  // six filemarks spaced
  EXPECT_EQ(filemarkSpaces(trace).size(), 7u);
  sf->UseEod = false;
  EXPECT_EQ(sf->CountSets(), 3);
  EXPECT_EQ(setNames(), (std::vector<std::string>{"one", "two", "three"}));

  std::string name;
  ASSERT_TRUE(sf->OpenSet(3, name));
  EXPECT_EQ(name, "three");
  ASSERT_EQ(sf->Catalogue.size(), 2u);
  EXPECT_EQ(sf->Catalogue[0].size, 70000);
}

TEST_F(CatalogueTest, CatalogueWithoutItsFilemarkIsNotASet) {
  TapBuilder tap;
  tap.volume().set("one").set("two").catalogue("partial", {makeEntry("/c", 1)}, false);
  tap.writeTo(imagePath);

  sf->UseEod = true;
  EXPECT_EQ(sf->CountSets(), 2);
  sf->UseEod = false;
  EXPECT_EQ(sf->CountSets(), -1);  // its header reads, its filemark is missing
}

TEST_F(CatalogueTest, OpenSetSpacesToTheCatalogueAndStopsAtTheData) {
  threeSets().writeTo(imagePath);
  std::string name;
  ASSERT_TRUE(sf->OpenSet(2, name));
  EXPECT_EQ(filemarkSpaces(trace), (Spaces{{3, true}, {1, true}}));
  EXPECT_EQ(name, "two");
  EXPECT_TRUE(sf->SetOpened);
  EXPECT_EQ(sf->SetNumber, 2);
  ASSERT_EQ(sf->Catalogue.size(), 1u);
  EXPECT_EQ(sf->Catalogue[0].name, "/a/2.txt");
  EXPECT_EQ(sf->Catalogue[0].finddata, makeEntry("/a/2.txt", 20).finddata);

  uint8_t header[4];
  ASSERT_TRUE(sf->TapeRead(header, 4));  // the first stream's header follows directly
  EXPECT_EQ(decodeHeader(header), 20);

  trace.clear();
  ASSERT_TRUE(sf->OpenSet(1, name));
  EXPECT_EQ(filemarkSpaces(trace).front(), std::make_pair(1, true));

  trace.clear();
  EXPECT_TRUE(sf->CloseSet());
  EXPECT_TRUE(trace.empty());
  EXPECT_TRUE(sf->Catalogue.empty());
  EXPECT_FALSE(sf->SetOpened);
  EXPECT_EQ(sf->SetNumber, -1);
}

TEST_F(CatalogueTest, SetsBeyondTheVolumeAndNegativeNumbersFail) {
  threeSets().writeTo(imagePath);
  std::string name = "kept";
  EXPECT_FALSE(sf->OpenSet(4, name));  // seven filemarks exist, the header does not
  EXPECT_FALSE(sf->OpenSet(5, name));  // the space itself fails
  EXPECT_EQ(name, "kept");

  trace.clear();
  EXPECT_FALSE(sf->OpenSet(-1, name));
  EXPECT_FALSE(sf->OpenSet(5000000, name));  // 2n - 1 does not fit a SPACE count
  EXPECT_TRUE(trace.empty());
}

TEST_F(CatalogueTest, AppendGoesBehindTheLastSetBothWays) {
  for (const bool useEod : {true, false}) {
    SCOPED_TRACE(useEod);
    insert(threeSets());
    sf->UseEod = useEod;
    sf->Catalogue = {makeEntry("/d/\x95\x5C.txt", 5), makeEntry("/d/e", 0)};
    std::string name = "\x8E\x6C";  // 四
    const double before = nowDateTime();
    ASSERT_TRUE(sf->OpenSet(0, name));
    EXPECT_TRUE(sf->SetOpened);
    EXPECT_EQ(sf->SetNumber, 0);
    int eodSpaces = 0;
    for (const auto& r : trace) eodSpaces += r.cdb[0] == 0x11 && r.cdb[1] == 0x03;
    EXPECT_EQ(eodSpaces, 0);  // the tail is found by walking the sets, either way

    uint8_t header[4];
    encodeHeader(5, header);
    ASSERT_TRUE(sf->TapeWrite(header, 4));
    ASSERT_TRUE(sf->TapeWrite(reinterpret_cast<const uint8_t*>("hello"), 5));
    encodeHeader(0, header);
    ASSERT_TRUE(sf->TapeWrite(header, 4));
    ASSERT_TRUE(sf->TapeWriteFilemarks(1));
    ASSERT_TRUE(sf->CloseSet());

    EXPECT_EQ(sf->CountSets(), 4);
    ASSERT_TRUE(sf->TapeRewind());
    ASSERT_TRUE(sf->TapeSpace(7, SpaceFilemarks));
    SetHeaderBlock block;
    ASSERT_TRUE(sf->TapeRead(block.data(), 268));
    const auto written = decodeSetHeader(block);
    EXPECT_EQ(written->count, 2);
    EXPECT_GE(written->written, before - 1.0 / 86400);
    EXPECT_LE(written->written, nowDateTime() + 1.0 / 86400);

    std::string readName;
    ASSERT_TRUE(sf->OpenSet(4, readName));
    EXPECT_EQ(readName, name);
    ASSERT_EQ(sf->Catalogue.size(), 2u);
    EXPECT_EQ(sf->Catalogue[0].name, "/d/\x95\x5C.txt");
    EXPECT_EQ(sf->Catalogue[0].finddata, makeEntry("/d/\x95\x5C.txt", 5).finddata);
  }
}

TEST_F(CatalogueTest, AppendOfAnEmptyCatalogueWritesHeaderAndFilemark) {
  TapBuilder().volume().writeTo(imagePath);
  std::string name = "empty";
  ASSERT_TRUE(sf->OpenSet(0, name));
  const auto image = readFileBytes(imagePath);
  const size_t tail = image.size() - (4 + 268 + 4 + 4);
  EXPECT_EQ(tail, 4 + 520 + 4 + 4u);  // right after the label's filemark
  EXPECT_EQ(loadLE32(&image[tail]), 268u);
  EXPECT_EQ(loadLE32(&image[tail + 4 + 264]), 0u);
  EXPECT_EQ(loadLE32(&image[image.size() - 4]), 0u);
}

TEST_F(CatalogueTest, AppendRefusesANameThatDoesNotFitItsField) {
  TapBuilder().volume().writeTo(imagePath);
  std::string name(256, 'n');
  EXPECT_FALSE(sf->OpenSet(0, name));
  EXPECT_TRUE(trace.empty());
  EXPECT_FALSE(sf->SetOpened);
}

TEST_F(CatalogueTest, DamagedCataloguesFailCleanly) {
  const auto entry = encodeFileEntry(makeEntry("/e/1", 1));
  struct Case {
    const char* what;
    TapBuilder tap;
    size_t entriesKept;
  };
  std::vector<Case> cases;
  {  // an entry block of the wrong length
    TapBuilder t;
    t.volume().record(encodeSetHeader({"s", 0, 2})).record(entry).record(500, 1).filemark();
    cases.push_back({"short entry", t, 1});
  }
  {  // a count larger than the entries present: the read meets the filemark
    TapBuilder t;
    t.volume().record(encodeSetHeader({"s", 0, 5})).record(entry).record(entry).filemark();
    cases.push_back({"count too large", t, 2});
  }
  {  // the largest count; memory grows only with the entries on tape
    TapBuilder t;
    t.volume().record(encodeSetHeader({"s", 0, 0x7FFFFFFF})).record(entry).filemark();
    cases.push_back({"largest count", t, 1});
  }
  {  // a negative count: no entries are read, and the set is not taken as empty
    TapBuilder t;
    t.volume().record(encodeSetHeader({"s", 0, -1})).record(entry).filemark();
    cases.push_back({"negative count", t, 0});
  }
  {  // a header of another size
    TapBuilder t;
    t.volume().record(520, 'h').filemark();
    cases.push_back({"header size", t, 0});
  }
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    insert(c.tap);

    std::string name;
    EXPECT_FALSE(sf->OpenSet(1, name));
    EXPECT_EQ(sf->Catalogue.size(), c.entriesKept);
    EXPECT_FALSE(sf->SetOpened);
  }
  EXPECT_TRUE(messages.boxes.empty());
}

}  // namespace
}  // namespace korv::test
