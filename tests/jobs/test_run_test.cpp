// The test run: reads what was selected without writing, in its own wording, and leaves
// the set open.

#include "jobs/test_run.h"

#include "run_fixture.h"

namespace korv::test {
namespace {

using jobs::RunStatus;

class TestRunTest : public RunFixture {
 protected:
  jobs::RunResult test(jobs::Selection& selection) {
    auto f = faces();
    return jobs::testRun(*sf, selection, f);
  }
  jobs::RunResult testAll() {
    jobs::ListSelection all(sf->Catalogue.size());
    return test(all);
  }
};

TEST_F(TestRunTest, ReadsEverythingSelectedAndKeepsTheSetOpen) {
  writeSet("s", {{"/a", pattern(131072)}, {"/skipped", "xy", true}, {"/b", ""}, {"/c", "abc"}});
  openSet(1);
  const auto result = testAll();
  EXPECT_EQ(result.status, RunStatus::Finished);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"終了しました"});
  EXPECT_EQ(log.lines, std::vector<std::string>{"/skippedはバックアップされていません"});
  EXPECT_EQ(factory.record.captions, std::vector<std::string>{"テスト中です"});
  EXPECT_EQ(factory.record.copycount, 4);
  EXPECT_EQ(factory.record.copybyte, 131072.0f + 2 + 3);
  EXPECT_TRUE(sf->SetOpened);
  EXPECT_EQ(sf->Catalogue.size(), 4u);
  EXPECT_EQ(trace.back().cdb[0], 0x01);

  // Without choosing the set again the tape is at its beginning: the label is no header.
  messages.boxes.clear();
  const auto again = testAll();
  EXPECT_EQ(again.status, RunStatus::Finished);
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"ファイルヘッダーが読み込めませんでした", "終了しました"}));
  EXPECT_EQ(boxTypes(), (std::vector<BoxType>{BoxType::Error, BoxType::Information}));
}

TEST_F(TestRunTest, OnlyTheLastSelectedReadsAllAndCountsOne) {
  writeSet("s", {{"/a", pattern(70000)}, {"/b", "b"}, {"/c", "cc"}});
  openSet(1);
  jobs::ListSelection last(3, false);
  last.set(2, true);
  test(last);
  EXPECT_EQ(factory.record.filenames, (std::vector<std::string>{"/a", "/b", "/c"}));
  EXPECT_EQ(factory.record.copycount, 1);
  EXPECT_EQ(factory.record.copybyte, 2.0f);
  EXPECT_EQ(countCommands(0x08), 3 + 2 + 1 + 1);  // headers, then the blocks of a, b, c
}

TEST_F(TestRunTest, CutShortSetGivesReadErrorAndRewinds) {
  // A backup aborted after the first block of a three-block file.
  const auto list = listed({make("big", 3 * 65536)});
  factory.record.onCopyByte = [&](float done) { factory.record.abort = done > 0; };
  ASSERT_EQ(backUp(list).status, RunStatus::Finished);
  openSet(1);
  testAll();
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"読み込みエラーが発生しました", "終了しました"}));
  EXPECT_EQ(trace.back().cdb[0], 0x01);
}

// A header that disagrees with the catalogue's size is a damaged stream, not a file
// that passed: its data cannot be told apart from the next file's.
TEST_F(TestRunTest, HeaderThatDisagreesWithTheCatalogueIsAReadError) {
  TapeFile empty{"/a", "abc"};
  empty.header = 0;
  writeSet("s", {empty});
  openSet(1);
  EXPECT_EQ(testAll().status, RunStatus::Finished);
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"読み込みエラーが発生しました", "終了しました"}));
  EXPECT_EQ(factory.record.copycount, 0);
}

TEST_F(TestRunTest, AbortRefusalAndRewindFailure) {
  writeSet("s", {{"/a", pattern(3 * 65536)}, {"/b", "b"}});

  openSet(1);
  jobs::ListSelection none(2, false);
  EXPECT_EQ(test(none).status, RunStatus::NotStarted);
  EXPECT_EQ(messages.texts(),
            std::vector<std::string>{"テストするファイルが１個も指定されていません"});

  openSet(1);
  factory.record.onCopyByte = [&](float done) { factory.record.abort = done > 0; };
  EXPECT_TRUE(testAll().aborted);
  EXPECT_EQ(messages.texts(), (std::vector<std::string>{"中断しました", "終了しました"}));
  EXPECT_EQ(countCommands(0x08), 2);

  openSet(1);
  factory.record.onStopClock = [&] { drive().setFaults({.failRewindAt = 1}); };
  EXPECT_EQ(testAll().status, RunStatus::Ended);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"巻き戻せませんでした"});
  EXPECT_EQ(factory.record.open, 0);
}

}  // namespace
}  // namespace korv::test
