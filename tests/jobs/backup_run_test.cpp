// The backup run: its steps and messages, the records it leaves on tape, and every way it
// can fail.

#include "jobs/backup_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "jobs/dirsearch.h"
#include "jobs/restore_run.h"
#include "jobs/set_browser.h"
#include "run_fixture.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using jobs::RunStatus;

constexpr const char* kMountFailed =
    "マウントが出来ません．以下の可能性があります．\r"
    "　・テープが入っていない\r"
    "　・書き込み禁止になっている\r"
    "　・他のシステムで使用しているテープである\r"
    "　・テープの空きがない\r"
    "　・新品のテープであり，フォーマットしていない";

class BackupRunTest : public RunFixture {
 protected:
  std::vector<int64_t> image() { return tapeRecords(imagePath); }
  void backUpShrinkingFile(size_t readAhead);
};

TEST_F(BackupRunTest, WritesOneStreamPerFileAndFinishes) {
  const auto list = listed({make("a", 100000), make("empty", 0), make("exact", 131072)});
  const auto result = backUp(list, "セット");

  EXPECT_EQ(result.status, RunStatus::Finished);
  EXPECT_EQ(result.filesDone, 3);
  EXPECT_EQ(result.bytesDone, 231072u);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"終了しました．"});
  EXPECT_EQ(boxTypes(), std::vector<BoxType>{BoxType::Information});
  EXPECT_EQ(messages.beeps, std::vector<unsigned>{kBeepDefault});
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(log.clears, 1);
  EXPECT_EQ(image(),
            concat({kVolume, setRecords(3, concat({stream(100000), stream(0), stream(131072)}))}));
  // The blocks hold the file's bytes unchanged.
  const auto data = tapeRecordData(imagePath);
  const std::string a = pattern(100000);
  EXPECT_EQ(data[8], a.substr(0, 65536));
  EXPECT_EQ(data[9], a.substr(65536));

  // The progress dialog: its caption, the protocol's order, the figures, then released.
  const auto& r = factory.record;
  EXPECT_EQ(r.captions, std::vector<std::string>{"バックアップ中です"});
  const std::vector<std::string> start(r.calls.begin(), r.calls.begin() + 6);
  EXPECT_EQ(start, (std::vector<std::string>{"animate off", "setallbyte", "setallcount",
                                             "setcopycount", "setcopybyte", "animate on"}));
  const std::vector<std::string> end(r.calls.end() - 2, r.calls.end());
  EXPECT_EQ(end, (std::vector<std::string>{"animate off", "stopclock"}));
  EXPECT_EQ(r.allcount, 3);
  EXPECT_EQ(r.allbyte, 231072.0f);
  EXPECT_EQ(r.copycount, 3);
  EXPECT_EQ(r.copybyte, 231072.0f);
  EXPECT_EQ(r.open, 0);
  EXPECT_EQ(r.filenames.size(), 3u);
  // Closed and rewound.
  EXPECT_FALSE(sf->SetOpened);
  EXPECT_TRUE(sf->Catalogue.empty());
  EXPECT_EQ(trace.back().cdb[0], 0x01);
}

// Reading ahead changes when files are read, never what reaches the tape: the same tree
// makes the same catalogue and data file with and without it.
TEST_F(BackupRunTest, ReadAheadWritesTheSameSetAsReadingInTurn) {
  const auto list =
      listed({make("empty", 0), make("one", 1, 2), make("full", 65536, 3), make("over", 65537, 4),
              make("long", 20 * 65536 + 7, 5), make("tail", 3, 6)});
  ASSERT_EQ(backUp(list, "same", 0).status, RunStatus::Finished);
  ASSERT_EQ(backUp(list, "same", jobs::SourceReader::kDefaultRing).status, RunStatus::Finished);
  // Tape files between filemarks: the label, then catalogue and data file of each set.
  std::vector<std::vector<std::string>> files(1);
  for (auto& record : tapeRecordData(imagePath)) {
    if (record.empty()) {
      files.emplace_back();
    } else {
      files.back().push_back(std::move(record));
    }
  }
  ASSERT_EQ(files.size(), 6u);
  files[1].erase(files[1].begin());  // the set headers carry the time of the run
  files[3].erase(files[3].begin());
  EXPECT_EQ(files[1], files[3]);
  EXPECT_EQ(files[2], files[4]);
  EXPECT_EQ(files[2].size(), 6u + 1 + 1 + 2 + 21 + 1);
}

TEST_F(BackupRunTest, RefusesWithoutSelectionOrUsableNameAndTouchesNothing) {
  const auto list = listed({make("a", 10)});
  jobs::ListSelection none(list.size(), false);
  auto f = faces();
  EXPECT_EQ(jobs::backupRun(*sf, list, none, "set", f).status, RunStatus::NotStarted);
  EXPECT_EQ(backUp(list, "").status, RunStatus::NotStarted);
  // A name CP932 cannot write, or one that leaves no room for the zero byte (128
  // double-byte characters are 256 bytes), is refused rather than cut.
  std::string tooLong;
  for (int i = 0; i < 128; ++i) tooLong += "あ";
  EXPECT_EQ(backUp(list, tooLong).status, RunStatus::NotStarted);
  EXPECT_EQ(backUp(list, "😀").status, RunStatus::NotStarted);
  const auto texts = messages.texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "ファイルが１個も選択されていません");
  EXPECT_EQ(texts[1], "バックアップセット名が指定されていません");
  EXPECT_EQ(boxTypes(), std::vector<BoxType>(4, BoxType::Warning));
  EXPECT_EQ(messages.beeps, std::vector<unsigned>(4, kBeepExclamation));
  EXPECT_TRUE(trace.empty());
  EXPECT_TRUE(factory.record.captions.empty());
  // A name of blanks is a name.
  EXPECT_EQ(backUp(list, "   ").status, RunStatus::Finished);
}

TEST_F(BackupRunTest, BlankTapeEndsAtMountingWithItsOwnMessage) {
  ASSERT_TRUE(sf->TapeRewind());
  ASSERT_TRUE(sf->TapeErase());
  messages.boxes.clear();
  const auto list = listed({make("a", 10)});
  EXPECT_EQ(backUp(list).status, RunStatus::Failed);
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].type, BoxType::Plain);  // the version message of mounting
  EXPECT_TRUE(factory.record.captions.empty());
  EXPECT_EQ(countCommands(0x0A), 0);
}

TEST_F(BackupRunTest, SetThatCannotBeOpenedGivesTheSixLinesWithoutRewind) {
  const auto list = listed({make("a", 10)});
  drive().setFaults({.writeProtected = true});
  EXPECT_EQ(backUp(list).status, RunStatus::Failed);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{kMountFailed});
  EXPECT_EQ(boxTypes(), std::vector<BoxType>{BoxType::Error});
  EXPECT_EQ(factory.record.captions.size(), 1u);
  EXPECT_EQ(factory.record.open, 0);
  EXPECT_EQ(trace.back().cdb[0], 0x0A);  // the refused write, and nothing after it
  EXPECT_EQ(image(), kVolume);
}

TEST_F(BackupRunTest, AbortBeforeTheFirstFileLeavesCatalogueAndEndingFilemark) {
  const auto list = listed({make("a", 10), make("b", 20)});
  factory.record.abort = true;
  const auto result = backUp(list);
  EXPECT_EQ(result.status, RunStatus::Finished);
  EXPECT_TRUE(result.aborted);
  EXPECT_EQ(messages.texts(), (std::vector<std::string>{"中断しました", "終了しました．"}));
  EXPECT_EQ(image(), concat({kVolume, setRecords(2, {})}));

  // A later backup appends behind the aborted set, and its files come back.
  factory.record.abort = false;
  const auto second = listed({make("c", 70000, 7)});
  EXPECT_EQ(backUp(second, "next").status, RunStatus::Finished);
  EXPECT_EQ(sf->CountSets(), 2);
  std::string name;
  ASSERT_TRUE(jobs::openSet(*sf, 2, name, messages));
  EXPECT_EQ(name, "next");
  jobs::ListSelection all(sf->Catalogue.size());
  FixedDestination destination;
  destination.folder = (dir.path() / "out").string();
  auto f = faces();
  EXPECT_EQ(jobs::restoreRun(*sf, all, destination, f).status, RunStatus::Finished);
  EXPECT_EQ(readFile(restored(dir.path() / "out", dir.path() / "src" / "c")), pattern(70000, 7));
}

TEST_F(BackupRunTest, AbortDuringTheLastFileCountsItAndEndsTheSet) {
  const auto list = listed({make("a", 10), make("big", 3 * 65536)});
  factory.record.onCopyByte = [&](float done) {
    if (done > 10) factory.record.abort = true;  // after the big file's first block
  };
  const auto result = backUp(list);
  EXPECT_EQ(result.status, RunStatus::Finished);
  EXPECT_EQ(messages.texts(), (std::vector<std::string>{"中断しました", "終了しました．"}));
  EXPECT_EQ(factory.record.copycount, 2);
  // The big file is short on tape: its header promises three blocks, one follows.
  EXPECT_EQ(image(), concat({kVolume, setRecords(2, concat({stream(10), {4, 65536}}))}));
}

TEST_F(BackupRunTest, FilesThatVanishedOrChangedSizeGetSkipHeadersAndLogLines) {
  const auto gone = make("gone", 10);
  const auto changed = make("changed", 10);
  const auto kept = make("kept", 5);
  const auto list = listed({gone, changed, kept});
  fs::remove(gone);
  writeFile(changed, pattern(11));
  const auto result = backUp(list);
  EXPECT_EQ(result.status, RunStatus::Finished);
  EXPECT_EQ(log.lines, (std::vector<std::string>{
                           gone.string() + "はオープンできませんでした",
                           changed.string() + "はファイルサイズが変化した為バックアップしません"}));
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"終了しました．"});
  EXPECT_EQ(image(), concat({kVolume, setRecords(3, concat({{4}, {4}, stream(5)}))}));
  const auto data = tapeRecordData(imagePath);
  EXPECT_EQ(data[7], std::string(4, '\xFF'));  // the skip header, -1
  EXPECT_EQ(data[8], std::string(4, '\xFF'));
  EXPECT_EQ(factory.record.copycount, 3);
}

TEST_F(BackupRunTest, SymlinkOrFifoInAFilesPlaceIsNeverOpened) {
  const auto a = make("a", 10);
  const auto b = make("b", 10);
  const auto other = make("other", 10);
  const auto list = listed({a, b});
  fs::remove(a);
  fs::create_symlink(other, a);
  fs::remove(b);
  ASSERT_EQ(mkfifo(b.c_str(), 0600), 0);  // opening it for reading would hang the run
  EXPECT_EQ(backUp(list).status, RunStatus::Finished);
  EXPECT_EQ(log.lines, (std::vector<std::string>{a.string() + "はオープンできませんでした",
                                                 b.string() + "はオープンできませんでした"}));
}

TEST_F(BackupRunTest, FileThatGrowsIsStoredAtItsRecordedSize) {
  const auto path = make("growing", 100000);
  const auto list = listed({path});
  bool grown = false;
  factory.record.onCopyByte = [&](float done) {
    if (done > 0 && !grown) {
      std::ofstream(path, std::ios::binary | std::ios::app) << std::string(5000, 'x');
      grown = true;
    }
  };
  EXPECT_EQ(backUp(list).status, RunStatus::Finished);
  EXPECT_TRUE(grown);
  EXPECT_EQ(image(), concat({kVolume, setRecords(1, stream(100000))}));
  const auto data = tapeRecordData(imagePath);
  EXPECT_EQ(data[6] + data[7], pattern(100000));
}

// One file that shrinks mid-read used to end the run and cost every file after it.
// Read on the run's thread the file gives out exactly where it was cut; read ahead it
// gives out wherever the reader stood, so that case checks the shape: the file's bytes,
// then zero bytes, the stream exactly the recorded size either way.
void BackupRunTest::backUpShrinkingFile(size_t readAhead) {
  {
    const size_t blocks = jobs::SourceReader::kDefaultRing + 24;  // more than the ring holds
    const size_t size = blocks * 65536 + 100;
    const auto path = make("shrinking", size);
    const auto after = make("after", 70000, 2);
    const auto list = listed({path, after});
    factory.record.onCopyByte = [&](float done) {
      if (done > 0 && done < 70000) fs::resize_file(path, 70000);
    };
    EXPECT_EQ(backUp(list, "set", readAhead).status, RunStatus::Finished);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"終了しました．"});
    EXPECT_EQ(log.lines, std::vector<std::string>{
                             path.string() + "は読み込み中に小さくなった為，残りを0で埋めました"});
    EXPECT_EQ(image(), concat({kVolume, setRecords(2, concat({stream(size), stream(70000)}))}));
    const auto data = tapeRecordData(imagePath);
    std::string stored;
    for (size_t i = 7; i < 7 + blocks + 1; ++i) stored += data[i];
    const std::string original = pattern(size);
    const size_t kept = readAhead == 0 ? 70000 : stored.find_last_not_of('\0') + 1;
    EXPECT_GE(kept, 65536u);
    EXPECT_LT(kept, size);
    EXPECT_EQ(stored, original.substr(0, kept) + std::string(size - kept, '\0'));

    // The later file restores identically.
    const fs::path out = dir.path() / "out";
    openSet(1);
    jobs::ListSelection all(2);
    FixedDestination destination;
    destination.folder = out.string();
    auto f = faces();
    EXPECT_EQ(jobs::restoreRun(*sf, all, destination, f).status, RunStatus::Finished);
    EXPECT_EQ(readFile(restored(out, after)), pattern(70000, 2));
  }
}

TEST_F(BackupRunTest, FileThatShrinksIsPaddedWithZerosAndTheRunGoesOn) {
  backUpShrinkingFile(0);
}

TEST_F(BackupRunTest, FileThatShrinksWhileReadAheadIsPaddedTheSameWay) {
  backUpShrinkingFile(jobs::SourceReader::kDefaultRing);
}

TEST_F(BackupRunTest, WriteFailuresEndTheLoopButNotTheSet) {
  // Writes: the set header, two entries, then the data file's records.
  struct Case {
    size_t firstSize;
    bool firstGone;
    int failWriteAt;
    const char* message;
    std::vector<int64_t> data;  // what reached the data file
  };
  const Case cases[] = {
      {10, true, 4, "ファイルスキップ用のヘッダーが書けませんでした", {}},
      {10, false, 4, "ファイルのヘッダーが書けませんでした", {}},
      {100000, false, 5, "書き込みエラーが発生しました", {4}},  // the first data block
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ASSERT_TRUE(sf->DeleteSetsFrom(1));
    messages.boxes.clear();
    const auto first = make("first", c.firstSize);
    const auto list = listed({first, make("b", 10)});
    if (c.firstGone) fs::remove(first);
    drive().setFaults({.failWriteAt = c.failWriteAt});
    EXPECT_EQ(backUp(list).status, RunStatus::Finished);
    EXPECT_EQ(messages.texts(), (std::vector<std::string>{c.message, "終了しました．"}));
    EXPECT_EQ(boxTypes(), (std::vector<BoxType>{BoxType::Error, BoxType::Information}));
    EXPECT_EQ(factory.record.copycount, c.firstGone ? 1 : 0);
    EXPECT_EQ(image(), concat({kVolume, setRecords(2, c.data)}));
  }
}

TEST_F(BackupRunTest, EndingFilemarkFailureWarnsOnceWithEodAndTwiceWithout) {
  const auto list = listed({make("a", 10)});
  drive().setFaults({.failFilemarkAt = 2});  // the catalogue's filemark, then the ending one
  EXPECT_EQ(backUp(list).status, RunStatus::Finished);
  EXPECT_EQ(messages.texts(), (std::vector<std::string>{
                                  "最後のファイルマークが書き込めませんでした", "終了しました．"}));

  messages.boxes.clear();
  messages.beeps.clear();
  options.eoduse = false;
  // The first set's missing filemark is written first, then this set's two.
  drive().setFaults({.failFilemarkAt = 3});
  EXPECT_EQ(backUp(list).status, RunStatus::Finished);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("ファイルマークを書き足しました"), std::string::npos);
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{
                "最後のファイルマークが書き込めませんでした",
                "EODが使用できないため，このテープは正常に使用する事が出来なくなります．",
                "終了しました．"}));
  EXPECT_EQ(boxTypes(),
            (std::vector<BoxType>{BoxType::Warning, BoxType::Warning, BoxType::Information}));
  // The second warning comes without a sound of its own.
  EXPECT_EQ(messages.beeps, (std::vector<unsigned>{kBeepExclamation, kBeepDefault}));
}

TEST_F(BackupRunTest, RewindFailureWarnsAndClosesTheProgress) {
  const auto list = listed({make("a", 10)});
  factory.record.onStopClock = [&] { drive().setFaults({.failRewindAt = 1}); };
  const auto result = backUp(list);
  EXPECT_EQ(result.status, RunStatus::Ended);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"巻き戻せませんでした"});
  EXPECT_EQ(factory.record.open, 0);
  EXPECT_FALSE(sf->SetOpened);
  EXPECT_EQ(image(), concat({kVolume, setRecords(1, stream(10))}));
}

TEST_F(BackupRunTest, FilesTheFormatCannotHoldAreListedSkippedAndLogged) {
  const auto small = make("small", 3);
  const auto emoji = make("😀.txt", 3);
  // A 2 GiB file that takes no room: only its size is ever looked at.
  const auto huge = dir.path() / "src" / "huge";
  { std::ofstream touch(huge); }
  fs::resize_file(huge, 2147483648ull);
  std::string longName = (dir.path() / "src").string() + "/";
  while (longName.size() < 200) longName += "d/";
  fs::create_directories(longName);
  const fs::path deep = longName + std::string(100, 'n');
  writeFile(deep, "x");

  const auto list = listed({small, emoji, huge, deep});
  EXPECT_EQ(list[1].problem, jobs::ListingProblem::NameNotCp932);
  EXPECT_EQ(list[2].problem, jobs::ListingProblem::TooLarge);
  EXPECT_EQ(list[3].problem, jobs::ListingProblem::PathTooLong);
  EXPECT_LE(list[3].entry().name.size(), 255u);
  const auto result = backUp(list);
  EXPECT_EQ(result.status, RunStatus::Finished);
  EXPECT_EQ(std::tuple(result.filesDone, result.filesSkipped, result.bytesDone),
            std::tuple(1, 3, uint64_t{3}));
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{
                emoji.string() + "はファイル名をShift-JISで表せない為バックアップしません",
                huge.string() + "は2GB以上の為バックアップしません",
                deep.string() + "はパスが長すぎる為バックアップしません"}));
  EXPECT_EQ(image(), concat({kVolume, setRecords(4, concat({stream(3), {4}, {4}, {4}}))}));
}

// What the listing left out is told in the log once the run has cleared it, before the
// files; it is not a file the run skipped.
TEST_F(BackupRunTest, LeftOutEntriesAreLoggedWhenTheRunStarts) {
  const auto list = listed({make("a", 1)});
  const jobs::LeftOutList leftOut = {{"/x/link", jobs::LeftOutEntry::Kind::SymbolicLink},
                                     {"/x/fifo", jobs::LeftOutEntry::Kind::Fifo}};
  log.lines = {"from before"};
  jobs::ListSelection all(list.size());
  auto f = faces();
  const auto result = jobs::backupRun(*sf, list, all, "set", f, leftOut);
  EXPECT_EQ(result.status, RunStatus::Finished);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{"/x/linkはシンボリックリンクの為バックアップしません",
                                      "/x/fifoは名前付きパイプの為バックアップしません"}));
  EXPECT_EQ(std::tuple(result.logLines, result.filesDone, result.filesSkipped),
            std::tuple(0, 1, 0));
}

TEST_F(BackupRunTest, SecondRunCannotStartWhileOneWorks) {
  const auto list = listed({make("a", 100000)});
  std::optional<jobs::RunResult> inner;
  factory.record.onCopyByte = [&](float) {
    if (inner) return;
    jobs::ListSelection all(list.size());
    auto f = faces();
    inner = jobs::backupRun(*sf, list, all, "inner", f);
  };
  EXPECT_EQ(backUp(list).status, RunStatus::Finished);
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->status, RunStatus::NotStarted);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"終了しました．"});
  EXPECT_EQ(factory.record.captions.size(), 1u);  // the inner run opened nothing
  EXPECT_EQ(image(), concat({kVolume, setRecords(1, stream(100000))}));
}

}  // namespace
}  // namespace korv::test

namespace korv::test {
namespace {

// A set that the next run could not find was reported as a finished backup.
TEST_F(BackupRunTest, SetThatCannotBeFoundAgainIsAnErrorNotFinished) {
  const auto list = listed({make("a", 10)});
  drive().setFaults({.failReadAt = 3});  // the label, the walk before the append, the one after
  const auto result = backUp(list);
  EXPECT_EQ(result.status, RunStatus::Ended);
  EXPECT_EQ(result.errors, 1);
  EXPECT_EQ(messages.texts(),
            std::vector<std::string>{"書き込んだバックアップセット1がテープ上に見つかりません．"
                                     "このバックアップは使用できません．"});
  EXPECT_EQ(factory.record.open, 0);
  EXPECT_EQ(trace.back().cdb[0], 0x01);  // rewound all the same
}

}  // namespace
}  // namespace korv::test

namespace korv::test {
namespace {

// A full tape, or a full disk under a tape image, was told only as a write error.
TEST_F(BackupRunTest, AFailedWriteSaysWhyInTheLog) {
  const auto list = listed({make("big", 100000)});
  drive().setFaults({.capacityBytes = 4000});  // the catalogue fits, the first block does not
  EXPECT_EQ(backUp(list).status, RunStatus::Finished);
  // The end of the medium is the tape-full message; the log keeps the drive's word for it.
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"テープが一杯になりました．\r" +
                                          (dir.path() / "src" / "big").string() +
                                          "以降のファイルはバックアップされていません",
                                      "終了しました．"}));
  EXPECT_EQ(log.lines,
            std::vector<std::string>{
                "書き込めなかった原因：テープの終わりに達しました（テープイメージでは，"
                "設定した容量を使い切ったか，その置き場所のディスクに空きがありません）"});
}

}  // namespace
}  // namespace korv::test
