// backup, restore and test from the terminal: output streams, selection by pattern, exit
// statuses, and Ctrl-C as the abort request.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_run.h"
#include "cli/run_terminal.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

class RunsCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    src = dir.path() / "src";
    fs::create_directories(src / "sub");
    std::ofstream(src / "a.txt") << "alpha";
    std::ofstream(src / "sub" / "b.bin") << std::string(70000, 'b');
    std::ofstream(src / "日本.txt") << "nihon";
    ASSERT_EQ(run({"--yes", "format", "--name", "T"}).status, 0);
  }

  CliResult run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--tape", (dir.path() / "tape.tap").string(), "--config",
                               (dir.path() / "k.ini").string()});
    return runCli(dir, args);
  }

  fs::path restored(const fs::path& out, const fs::path& source) {
    return out / source.relative_path();
  }

  TempDir dir;
  fs::path src;
};

TEST_F(RunsCliTest, BackupRestoreAndTestThroughTheTerminal) {
  const auto backup = run({"backup", "--name", "セット", src.string()});
  ASSERT_EQ(backup.status, 0) << backup.err;
  EXPECT_EQ(backup.out, "");
  EXPECT_EQ(backup.err, "情報: 終了しました．\n");  // no progress line without a terminal

  const auto test = run({"test", "1"});
  EXPECT_EQ(test.status, 0) << test.err;
  EXPECT_EQ(test.err, "情報: 終了しました\n");

  // '*' also matches '/': one pattern picks a file in a subfolder.
  const fs::path out = dir.path() / "out";
  const auto restore = run({"restore", "1", "--to", out.string(), "--select", "*sub*"});
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_EQ(std::string(readFile(restored(out, src / "sub" / "b.bin"))), std::string(70000, 'b'));
  EXPECT_FALSE(fs::exists(restored(out, src / "a.txt")));

  // Everything, and a same-name check that skips: the log line on stdout, status 1.
  const auto again = run({"restore", "1", "--to", out.string(), "--namecheck"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.out, restored(out, src / "sub" / "b.bin").string() +
                           " はリストア先に存在するのでリストアしません．\n");
  EXPECT_EQ(readFile(restored(out, src / "日本.txt")), "nihon");
  const auto replaced =
      run({"restore", "1", "--to", out.string(), "--no-namecheck", "--no-timecheck"});
  EXPECT_EQ(replaced.status, 0) << replaced.err;
}

TEST_F(RunsCliTest, FailuresAndUsageGiveTheirStatuses) {
  // Nothing on tape was touched for a path that does not exist.
  const auto missing = run({"backup", "--name", "x", (dir.path() / "nothing").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("が見つかりません"), std::string::npos);

  const auto noSet = run({"restore", "3", "--to", (dir.path() / "o").string()});
  EXPECT_EQ(noSet.status, 2);
  EXPECT_NE(noSet.err.find("警告: マウントできません"), std::string::npos);

  ASSERT_EQ(run({"backup", "--name", "s", (src / "a.txt").string()}).status, 0);
  const auto noMatch = run({"test", "1", "--select", "*.none"});
  EXPECT_EQ(noMatch.status, 2);
  EXPECT_EQ(noMatch.err, "警告: テストするファイルが１個も指定されていません\n");

  EXPECT_EQ(run({"restore", "1"}).status, 64);
  EXPECT_EQ(run({"test", "0"}).status, 64);
  EXPECT_EQ(run({"backup", src.string()}).status, 64);
}

// Log lines name paths from the tape: a control byte in one neither reaches the terminal
// nor splits the line.
TEST(StdoutLogTest, OneLinePerLogLineWithoutControlBytes) {
  cli::ProgressLine line(false);
  cli::StdoutLog log(line);
  testing::internal::CaptureStdout();
  log.add("/a\x1b]0;t\x07\nb はバックアップされていません");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "/a ]0;t  b はバックアップされていません\n");
}

TEST(ProgressLineTest, ShowsCountsBytesRateAndElapsed) {
  jobs::ProgressState state(1000);
  state.setallcount(10);
  state.setcopycount(3);
  state.setallbyte(100 * 1048576.0f);
  state.setcopybyte(25 * 1048576.0f);
  EXPECT_EQ(cli::progressText("リストア中です", state, 120, 1065),
            "リストア中です 3/10 個  25.0/100.0 MB  120.00 MByte/分  00.01.05");
}

}  // namespace
}  // namespace korv::test
