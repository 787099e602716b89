// A backup that meets the end of the medium: where the drive's early warning or its end
// comes decides which files are on tape in full; the set is closed either way and the
// user is told which file was the first left out.

#include <filesystem>

#include "jobs/backup_run.h"
#include "run_fixture.h"

namespace korv::test {
namespace {

using jobs::RunStatus;

class TapeFullTest : public RunFixture {
 protected:
  std::vector<int64_t> image() { return tapeRecords(imagePath); }
};

TEST_F(TapeFullTest, EarlyWarningOrEndOfMediumClosesTheSetWithWhatFit) {
  // Image bytes: label and filemark 532, set header 276, two entries 1200, filemark 4: the
  // data file starts at 2012. File a (100000 bytes): header to 2024, blocks to 67568 and
  // 102040; file b (10 bytes): header to 102052, block to 102070.
  struct Case {
    const char* name;
    MediumCapacity capacity;
    const char* firstLeftOut;  // nullptr: everything fit
    std::vector<int64_t> data;
    int32_t filesDone;
  };
  const Case cases[] = {
      {"warning on the header of a file with data", {1 << 20, 2013}, "a", {4}, 0},
      {"warning on the first block of a", {1 << 20, 2024}, "a", {4, 65536}, 0},
      {"warning on the last block of a", {1 << 20, 67568}, "b", {4, 65536, 34464}, 1},
      {"warning on the very last block",
       {1 << 20, 102052},
       nullptr,
       concat({stream(100000), stream(10)}),
       2},
      {"end of medium at the second block of a", {102039, 0}, "a", {4, 65536}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(sf->DeleteSetsFrom(1));
    messages.boxes.clear();
    const auto a = make("a", 100000), b = make("b", 10);
    const auto list = listed({a, b});
    drive().setCapacity(c.capacity);
    const auto result = backUp(list);
    drive().setCapacity({});

    EXPECT_EQ(result.status, RunStatus::Finished);
    EXPECT_EQ(result.tapeFull, c.firstLeftOut != nullptr);
    std::vector<std::string> said{"終了しました．"};
    if (c.firstLeftOut != nullptr) {
      const std::string path = (dir.path() / "src" / c.firstLeftOut).string();
      said.insert(said.begin(), "テープが一杯になりました．\r" + path +
                                    "以降のファイルはバックアップされていません");
    }
    EXPECT_EQ(messages.texts(), said);
    EXPECT_EQ(factory.record.copycount, c.filesDone);
    EXPECT_EQ(image(), concat({kVolume, setRecords(2, c.data)}));  // with its ending filemark
  }
}

}  // namespace
}  // namespace korv::test
