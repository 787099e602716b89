// A tree backed up by the listing and the backup run, then restored into an empty folder,
// comes back byte for byte with its times and read-only bit; the tape holds exactly the
// records the format prescribes.

#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "jobs/dirsearch.h"
#include "jobs/restore_run.h"
#include "run_fixture.h"
#include "sys/cp932.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

struct timespec statMtime(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(lstat(p.c_str(), &st), 0) << p;
  return st.st_mtim;
}

class RoundTripTest : public RunFixture {};

TEST_F(RoundTripTest, TreeComesBackWithBytesTimesAndReadOnlyBit) {
  const fs::path src = dir.path() / "src";
  // Sizes around the block boundaries, Japanese names (表 and ソ end in the byte 0x5C in
  // CP932), nested and empty folders, a read-only file.
  const std::map<std::string, size_t> files{
      {"zero", 0},
      {"one", 1},
      {"f65535", 65535},
      {"f65536", 65536},
      {"f65537", 65537},
      {"f131072", 131072},
      {"日本語の名前.txt", 300},
      {"表/ソース.dat", 70000},
      {"a/b/c/深い.txt", 12},
      {"readonly.txt", 40},
  };
  unsigned seed = 1;
  for (const auto& [name, size] : files) writeFile(src / name, pattern(size, seed++));
  fs::create_directories(src / "a" / "empty");
  // Times with nanoseconds; the tape keeps them in 100 ns steps.
  long nanos = 123456789;
  for (const auto& [name, size] : files) {
    const struct timespec times[2] = {{1700000000, 5}, {1715000000 + nanos % 1000, nanos}};
    ASSERT_EQ(utimensat(AT_FDCWD, (src / name).c_str(), times, 0), 0);
    nanos = (nanos * 7 + 13) % 1000000000;
  }
  fs::permissions(src / "readonly.txt", fs::perms::owner_read | fs::perms::group_read);

  jobs::FileList list;
  jobs::dirsearch(src.string() + "/", list);
  ASSERT_EQ(list.size(), files.size());
  for (const auto& item : list) EXPECT_EQ(item.problem, jobs::ListingProblem::None);
  EXPECT_EQ(backUp(list, "往復").status, jobs::RunStatus::Finished);
  EXPECT_TRUE(log.lines.empty());

  // Exactly the prescribed records, in listing order.
  std::vector<int64_t> data;
  for (const auto& item : list) {
    const auto s = stream(static_cast<int64_t>(item.size));
    data.insert(data.end(), s.begin(), s.end());
  }
  EXPECT_EQ(tapeRecords(imagePath), concat({kVolume, setRecords(list.size(), data)}));

  openSet(1);
  ASSERT_EQ(sf->Catalogue.size(), files.size());
  EXPECT_EQ(cp932ToUtf8(sf->Catalogue[0].name), list[0].path());
  jobs::ListSelection all(sf->Catalogue.size());
  FixedDestination destination;
  const fs::path out = dir.path() / "out";
  destination.folder = out.string();
  auto f = faces();
  const auto result = jobs::restoreRun(*sf, all, destination, f);
  EXPECT_EQ(result.status, jobs::RunStatus::Finished);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"終了しました"});
  EXPECT_TRUE(log.lines.empty()) << log.lines.front();
  EXPECT_FALSE(sf->SetOpened);

  for (const auto& [name, size] : files) {
    const fs::path original = src / name;
    const fs::path copy = restored(out, original);
    ASSERT_TRUE(fs::is_regular_file(copy)) << copy;
    EXPECT_EQ(readFile(copy), readFile(original)) << name;
    const auto a = statMtime(original);
    const auto b = statMtime(copy);
    EXPECT_EQ(b.tv_sec, a.tv_sec) << name;
    EXPECT_EQ(b.tv_nsec, a.tv_nsec / 100 * 100) << name;
    const bool readOnly =
        (fs::status(copy).permissions() & fs::perms::owner_write) == fs::perms::none;
    EXPECT_EQ(readOnly, name == "readonly.txt") << name;
  }
}

}  // namespace
}  // namespace korv::test
