// The restore run: tapes of both writers land below the destination with the right
// names, nothing is ever written outside it, the options, and every way it can fail.

#include "jobs/restore_run.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "run_fixture.h"
#include "sys/cp932.h"
#include "sys/datetime.h"
#include "tape/volume_images.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using jobs::RunStatus;

std::string sj(const std::string& utf8) {
  return *utf8ToCp932(utf8);
}

class RestoreRunTest : public RunFixture {
 protected:
  void SetUp() override {
    RunFixture::SetUp();
    out = dir.path() / "out";
    destination.folder = out.string();
  }

  jobs::RunResult restore(jobs::Selection& selection) {
    auto f = faces();
    return jobs::restoreRun(*sf, selection, destination, f);
  }
  jobs::RunResult restoreAll() {
    jobs::ListSelection all(sf->Catalogue.size());
    return restore(all);
  }

  fs::path out;
  FixedDestination destination;
};

TEST_F(RestoreRunTest, WindowsTapeLandsBelowTheDestinationWithItsNames) {
  writeSet("win", {
                      {sj("C:\\ソフト\\表.txt"), pattern(100, 1)},
                      {sj("C:\\ソフト\\空.txt"), ""},
                      {sj("C:\\ソフト\\skip.txt"), pattern(50, 2), true},
                      {sj("C:\\ソフト\\exact.bin"), pattern(131072, 3)},
                      {sj("D:\\root.txt"), pattern(5, 4)},
                  });
  openSet(1);
  const auto result = restoreAll();
  EXPECT_EQ(result.status, RunStatus::Finished);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"終了しました"});
  EXPECT_EQ(log.lines, std::vector<std::string>{"C:\\ソフト\\skip.txt"
                                                "はバックアップされていません"});
  EXPECT_EQ(readFile(out / "ソフト" / "表.txt"), pattern(100, 1));
  EXPECT_TRUE(fs::is_regular_file(out / "ソフト" / "空.txt"));
  EXPECT_EQ(fs::file_size(out / "ソフト" / "空.txt"), 0u);
  EXPECT_FALSE(fs::exists(out / "ソフト" / "skip.txt"));
  EXPECT_EQ(readFile(out / "ソフト" / "exact.bin"), pattern(131072, 3));
  EXPECT_EQ(readFile(out / "root.txt"), pattern(5, 4));
  // An exact multiple is read as full blocks only.
  int restReads = 0;
  for (const auto& r : trace) restReads += (r.cdb[0] == 0x08 && r.length == 0) ? 1 : 0;
  EXPECT_EQ(restReads, 0);
  // The recorded last-write time (FILETIME 133500000000000000 = 2024-01-17 21:20 UTC).
  struct stat st {};
  ASSERT_EQ(stat((out / "ソフト" / "表.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1705526400);
  EXPECT_EQ(factory.record.captions, std::vector<std::string>{"リストア中です"});
  EXPECT_EQ(factory.record.allcount, 5);
  EXPECT_EQ(factory.record.copycount, 5);
}

TEST_F(RestoreRunTest, PathsThatClimbOutOrLinksAtTheDestinationNeverWriteOutside) {
  const fs::path outside = dir.path() / "outside";
  writeFile(outside / "target.txt", "keep");
  fs::permissions(outside / "target.txt", fs::perms::owner_read);
  fs::create_directories(out / "t");
  fs::create_symlink(outside / "target.txt", out / "t" / "link.txt");
  fs::create_directory_symlink(outside, out / "t" / "linkdir");
  ASSERT_EQ(mkfifo((out / "t" / "fifo").c_str(), 0600), 0);  // writing would block
  writeSet("hostile", {
                          {"/../evil1", "bad"},
                          {sj("C:\\..\\evil2"), "bad"},
                          {"/a/../../evil3", "bad"},
                          {"/", "bad"},
                          {"/t/link.txt", "bad"},
                          {"/t/linkdir/x.txt", "bad"},
                          {"/t/fifo", "bad"},
                          {"/ok.txt", pattern(70000)},
                      });
  openSet(1);
  options.timecheck = false;
  EXPECT_EQ(restoreAll().status, RunStatus::Finished);
  const std::string o = out.string();
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{
                "/../evil1 はリストア先の外を指しているのでリストアしません．",
                "C:\\..\\evil2 はリストア先の外を指しているのでリストアしません．",
                "/a/../../evil3 はリストア先の外を指しているのでリストアしません．",
                "/ はファイル名が無いのでリストアしません．",
                o + "/t/linkdir/x.txt は新規作成出来ませんでした(20)",  // a link is no folder
                o + "/t/fifo は新規作成出来ませんでした(17)",
            }));
  // Nothing outside changed; the refused entries' data was read through.
  EXPECT_EQ(readFile(outside / "target.txt"), "keep");
  EXPECT_EQ(fs::status(outside / "target.txt").permissions(), fs::perms::owner_read);
  EXPECT_FALSE(fs::exists(outside / "x.txt"));
  EXPECT_FALSE(fs::exists(dir.path() / "evil1"));
  EXPECT_FALSE(fs::exists(dir.path() / "evil2"));
  EXPECT_FALSE(fs::exists(dir.path() / "evil3"));
  // The link itself was replaced by the restored file.
  EXPECT_FALSE(fs::is_symlink(out / "t" / "link.txt"));
  EXPECT_EQ(readFile(out / "t" / "link.txt"), "bad");
  EXPECT_EQ(readFile(out / "ok.txt"), pattern(70000));
}

TEST_F(RestoreRunTest, ExistingDestinationFollowsTheTwoOptions) {
  writeSet("s", {{"/d/same.txt", "new"}});
  const fs::path target = out / "d" / "same.txt";
  const auto prepare = [&](std::time_t mtime) {
    writeFile(target, "old");
    fs::permissions(target, fs::perms::owner_read);
    const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, target.c_str(), times, 0), 0);
    openSet(1);
  };
  const std::time_t recorded = unpackDosDateTime(0x58A65000);
  const std::string shown = target.string();

  // Same name: skipped, and made writable ("archive alone") all the same.
  options.namecheck = true;
  options.timecheck = true;
  prepare(recorded + 3600);
  EXPECT_EQ(restoreAll().status, RunStatus::Finished);
  EXPECT_EQ(log.lines,
            std::vector<std::string>{shown + " はリストア先に存在するのでリストアしません．"});
  EXPECT_EQ(readFile(target), "old");
  EXPECT_NE(fs::status(target).permissions() & fs::perms::owner_write, fs::perms::none);

  // Newer on disk: skipped.
  options.namecheck = false;
  prepare(recorded + 3600);
  restoreAll();
  EXPECT_EQ(log.lines, std::vector<std::string>{
                           shown + " はバックアップ時より新しくなっているのでリストアしません．"});
  EXPECT_EQ(readFile(target), "old");

  // Within the same two-second step: not newer, replaced even though read-only.
  prepare(recorded + 1);
  restoreAll();
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(readFile(target), "new");

  // Both off: replaced.
  options.timecheck = false;
  prepare(recorded + 3600);
  restoreAll();
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(readFile(target), "new");
}

TEST_F(RestoreRunTest, OnlyTheThirdOfFiveIsReadUpToItAndRestored) {
  std::vector<TapeFile> files;
  for (int i = 1; i <= 5; ++i) files.push_back({"/f" + std::to_string(i), pattern(70000, i)});
  writeSet("five", files);
  openSet(1);
  jobs::ListSelection third(5, false);
  third.set(2, true);
  EXPECT_EQ(restore(third).status, RunStatus::Finished);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"終了しました"});
  EXPECT_FALSE(fs::exists(out / "f1"));
  EXPECT_FALSE(fs::exists(out / "f2"));
  EXPECT_EQ(readFile(out / "f3"), pattern(70000, 3));
  EXPECT_FALSE(fs::exists(out / "f4"));
  // Three headers and their two blocks each; then only the rewind.
  EXPECT_EQ(countCommands(0x08), 9);
  EXPECT_EQ(trace.back().cdb[0], 0x01);
  EXPECT_EQ(factory.record.copycount, 1);
  EXPECT_EQ(factory.record.copybyte, 70000.0f);
  EXPECT_EQ(factory.record.filenames, std::vector<std::string>{(out / "f3").string()});
}

TEST_F(RestoreRunTest, RefusesWithoutDestinationOrSelection) {
  writeSet("s", {{"/a", "x"}});
  openSet(1);
  destination.folder.clear();
  restoreAll();
  destination.folder = out.string();
  jobs::ListSelection none(1, false);
  EXPECT_EQ(restore(none).status, RunStatus::NotStarted);
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"リストア先が指定されていません",
                                      "リストアするファイルが１個も指定されていません"}));
  EXPECT_TRUE(trace.empty());
  EXPECT_TRUE(factory.record.captions.empty());
}

TEST_F(RestoreRunTest, AbortDuringAFileDeletesWhatWasWritten) {
  writeSet("s", {{"/big", pattern(3 * 65536)}, {"/after", "x"}});
  openSet(1);
  factory.record.onCopyByte = [&](float done) { factory.record.abort = done > 0; };
  const auto result = restoreAll();
  EXPECT_EQ(result.status, RunStatus::Finished);
  EXPECT_TRUE(result.aborted);
  EXPECT_EQ(messages.texts(), (std::vector<std::string>{"中断しました", "終了しました"}));
  EXPECT_EQ(log.lines, std::vector<std::string>{"コピー先ファイル " + (out / "big").string() +
                                                " は削除されました"});
  EXPECT_FALSE(fs::exists(out / "big"));
  EXPECT_FALSE(fs::exists(out / "after"));
  EXPECT_EQ(countCommands(0x08), 2);  // the header and one block: nothing read after
  EXPECT_EQ(factory.record.open, 0);
}

TEST_F(RestoreRunTest, ReadFailuresEndTheRunAndLeaveNoPartialFile) {
  writeSet("s", {{"/big", pattern(100000)}, {"/small", "abc"}});

  openSet(1);
  drive().setFaults({.failReadAt = 1});
  restoreAll();
  EXPECT_EQ(messages.texts(), (std::vector<std::string>{
                                  "テープファイルヘッダーが読み込めませんでした", "終了しました"}));
  EXPECT_EQ(boxTypes(), (std::vector<BoxType>{BoxType::Error, BoxType::Information}));
  EXPECT_TRUE(log.lines.empty());

  openSet(1);
  drive().setFaults({.failReadAt = 3});  // the header, the full block, then the rest
  restoreAll();
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"読み込みエラーが発生しました", "終了しました"}));
  EXPECT_EQ(log.lines, std::vector<std::string>{"コピー先ファイル " + (out / "big").string() +
                                                " は削除されました"});
  EXPECT_FALSE(fs::exists(out / "big"));
  EXPECT_FALSE(fs::exists(out / "small"));
  EXPECT_EQ(trace.back().cdb[0], 0x01);
  EXPECT_FALSE(sf->SetOpened);
}

TEST_F(RestoreRunTest, HeaderThatDisagreesWithTheCatalogueLeavesNoFile) {
  TapeFile damaged{"/a", pattern(70000)};
  damaged.header = 0;  // "no data follows", yet the catalogue and the records say otherwise
  TapeFile longer{"/b", ""};
  longer.header = 5;
  for (const auto& file : {damaged, longer}) {
    writeSet("s", {file});
    openSet(1);
    restoreAll();
    EXPECT_EQ(messages.texts(),
              (std::vector<std::string>{"読み込みエラーが発生しました", "終了しました"}));
    EXPECT_FALSE(fs::exists(out / file.cp932Name.substr(1)));
    ASSERT_TRUE(sf->FormatVolume());
  }
}

// Writes past `limit` bytes fail (EFBIG) while this lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_DFL);
  }

 private:
  rlimit saved_{};
};

TEST_F(RestoreRunTest, WriteFailuresDeleteThePartialFile) {
  writeSet("s", {{"/last", pattern(65536 + 100)}, {"/full", pattern(3 * 65536)}, {"/x", "x"}});
  openSet(1);
  jobs::RunResult result;
  {
    FileSizeLimit limit(65536 + 50);
    result = restoreAll();
  }
  // The last partial block of the first file: logged, the run goes on. A full block of the
  // second: an error, and the run ends.
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"書き込みエラーが発生しました", "終了しました"}));
  EXPECT_EQ(log.lines, (std::vector<std::string>{
                           "コピー先ファイル " + (out / "last").string() + " は削除されました",
                           "コピー先ファイル " + (out / "full").string() + " は削除されました"}));
  EXPECT_FALSE(fs::exists(out / "last"));
  EXPECT_FALSE(fs::exists(out / "full"));
  EXPECT_FALSE(fs::exists(out / "x"));
  // The files are written behind the tape: the counts still come out as the files did.
  EXPECT_EQ(result.filesDone, 0);
  EXPECT_EQ(result.filesSkipped, 1);
}

TEST_F(RestoreRunTest, AbortBetweenFilesKeepsTheFilesBeforeIt) {
  writeSet("s", {{"/a", pattern(1000)}, {"/b", "b"}});
  openSet(1);
  factory.record.onCopyByte = [&](float done) { factory.record.abort = done > 0; };
  const auto result = restoreAll();
  EXPECT_TRUE(result.aborted);
  EXPECT_EQ(messages.texts(), (std::vector<std::string>{"中断しました", "終了しました"}));
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(readFile(out / "a"), pattern(1000));
  EXPECT_FALSE(fs::exists(out / "b"));
  EXPECT_EQ(result.filesDone, 1);
}

TEST_F(RestoreRunTest, OnePathTwiceInASetMeetsItsFirstCopy) {
  // The second entry is checked only once the first is written, as one after the other.
  writeSet("s", {{"/dup", "first"}, {"/dup", "second"}});
  openSet(1);
  options.namecheck = true;
  const auto result = restoreAll();
  EXPECT_EQ(log.lines, std::vector<std::string>{(out / "dup").string() +
                                                " はリストア先に存在するのでリストアしません．"});
  EXPECT_EQ(readFile(out / "dup"), "first");
  EXPECT_EQ(result.filesDone, 1);
  EXPECT_EQ(result.filesSkipped, 1);
}

TEST_F(RestoreRunTest, FolderThatCannotBeMadeIsLoggedAndItsDataReadThrough) {
  writeFile(out / "blocked", "a file where a folder should be");
  writeSet("s", {{"/blocked/in.txt", pattern(70000)}, {"/fine.txt", "ok"}});
  openSet(1);
  EXPECT_EQ(restoreAll().status, RunStatus::Finished);
  EXPECT_EQ(log.lines, std::vector<std::string>{(out / "blocked" / "in.txt").string() +
                                                " は新規作成出来ませんでした(20)"});
  EXPECT_EQ(readFile(out / "fine.txt"), "ok");
}

TEST_F(RestoreRunTest, DestinationThatCannotBeMadeEndsTheRunCleanly) {
  writeFile(dir.path() / "notafolder", "x");
  destination.folder = (dir.path() / "notafolder").string();
  writeSet("s", {{"/a.txt", "a"}, {"/b.txt", "b"}});
  openSet(1);
  const auto result = restoreAll();
  EXPECT_EQ(result.status, RunStatus::Finished);
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"ﾃﾞｨﾚｸﾄﾘを作成することができません", "終了しました"}));
  EXPECT_EQ(boxTypes(), (std::vector<BoxType>{BoxType::Error, BoxType::Information}));
  EXPECT_EQ(factory.record.open, 0);
  EXPECT_EQ(trace.back().cdb[0], 0x01);
  EXPECT_EQ(result.filesDone + result.filesSkipped, 0);
}

TEST_F(RestoreRunTest, RewindFailureKeepsTheSetOpen) {
  writeSet("s", {{"/a.txt", "a"}});
  openSet(1);
  factory.record.onStopClock = [&] { drive().setFaults({.failRewindAt = 1}); };
  EXPECT_EQ(restoreAll().status, RunStatus::Ended);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"巻き戻せませんでした"});
  EXPECT_EQ(factory.record.open, 0);
  EXPECT_TRUE(sf->SetOpened);
  EXPECT_EQ(sf->Catalogue.size(), 1u);
  EXPECT_EQ(readFile(out / "a.txt"), "a");
}

}  // namespace
}  // namespace korv::test

namespace korv::test {
namespace {

// Restore used to write through a hard link at the destination, changing a file outside
// it, and truncated the old copy before a byte came from tape.
TEST_F(RestoreRunTest, DestinationIsReplacedNeverWrittenThroughAndKeptOnFailure) {
  writeSet("s", {{"/d/linked.txt", "new"}, {"/d/big", pattern(100000, 3)}});
  const fs::path outside = dir.path() / "outside.txt";
  writeFile(outside, "outside");
  fs::permissions(outside, fs::perms::owner_read);
  fs::create_directories(out / "d");
  fs::create_hard_link(outside, out / "d" / "linked.txt");
  writeFile(out / "d" / "big", "previous copy");

  // The same-name rule leaves both, and the outside file keeps its mode.
  options.namecheck = true;
  openSet(1);
  restoreAll();
  EXPECT_EQ(fs::status(outside).permissions(), fs::perms::owner_read);

  // The second file's last block cannot be read: its previous copy stays.
  options.namecheck = false;
  options.timecheck = false;
  openSet(1);
  drive().setFaults({.failReadAt = 5});  // header, data; header, full block, rest
  restoreAll();
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"読み込みエラーが発生しました", "終了しました"}));
  EXPECT_EQ(log.lines, std::vector<std::string>{"コピー先ファイル " + (out / "d" / "big").string() +
                                                " は削除されました"});
  EXPECT_EQ(readFile(out / "d" / "linked.txt"), "new");
  EXPECT_EQ(fs::hard_link_count(out / "d" / "linked.txt"), 1u);
  EXPECT_EQ(readFile(outside), "outside");
  EXPECT_EQ(fs::status(outside).permissions(), fs::perms::owner_read);
  EXPECT_EQ(readFile(out / "d" / "big"), "previous copy");
  // No temporary file is left beside them.
  EXPECT_EQ(std::distance(fs::directory_iterator(out / "d"), fs::directory_iterator{}), 2);
}

// A size the signed field cannot hold (a file of 2 GiB or more stored by another writer)
// used to truncate the existing destination before it was refused.
TEST_F(RestoreRunTest, EntryWithAnUnreadableSizeLeavesTheDestinationUntouched) {
  sf->Catalogue = {makeEntry("/huge", -100), makeEntry("/next", 3)};
  std::string name = "s";
  ASSERT_TRUE(sf->OpenSet(0, name));
  uint8_t header[4];
  encodeHeader(-100, header);
  ASSERT_TRUE(sf->TapeWrite(header, 4));
  encodeHeader(3, header);
  ASSERT_TRUE(sf->TapeWrite(header, 4));
  ASSERT_TRUE(sf->TapeWrite(reinterpret_cast<const uint8_t*>("abc"), 3));
  ASSERT_TRUE(sf->TapeWriteFilemarks(1));
  ASSERT_TRUE(sf->CloseSet());
  writeFile(out / "huge", "keep me");

  openSet(1);
  restoreAll();
  // Read through as 4 GiB - 100 bytes, its data cannot be where the next header is.
  EXPECT_EQ(log.lines, std::vector<std::string>{
                           "/hugeはファイルサイズが2GB以上で扱えない為，読み飛ばしました"});
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"読み込みエラーが発生しました", "終了しました"}));
  EXPECT_EQ(readFile(out / "huge"), "keep me");
  EXPECT_FALSE(fs::exists(out / "next"));
}

}  // namespace
}  // namespace korv::test
