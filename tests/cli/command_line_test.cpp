// What the terminal program's command line promises: one reading of set numbers for every
// command, the last of a --x / --no-x pair winning, help that tells the defaults in
// effect, and the texts of the progress line and the closing summary.

#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "cli/cli_run.h"
#include "cli/progress_line.h"
#include "cli/run_summary.h"
#include "cli/set_number.h"
#include "cli/text_format.h"
#include "sys/options.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

const std::string kBelowOne = "バックアップセットの番号は1以上です";
const std::string kAboveLast = "バックアップセットの番号は4194304以下です";

TEST(SetNumberTest, ReadsDecimalNumbersFromOneToTheLastReachableSet) {
  const struct {
    const char* text;
    int32_t number;  // 0: refused with `problem`
    std::string problem;
  } cases[] = {
      {"1", 1, ""},
      {"+2", 2, ""},
      {"007", 7, ""},
      {"4194304", 4194304, ""},
      {"0", 0, kBelowOne},
      {"-1", 0, kBelowOne},
      {"-99999999999999999999", 0, kBelowOne},
      {"4194305", 0, kAboveLast},
      {"99999999999999999999", 0, kAboveLast},
      {"abc", 0, "'abc' は整数ではありません"},
      {"", 0, "'' は整数ではありません"},
      {"1.5", 0, "'1.5' は整数ではありません"},
      {"0x10", 0, "'0x10' は整数ではありません"},
  };
  for (const auto& c : cases) {
    std::string problem;
    const auto number = cli::parseSetNumber(c.text, problem);
    EXPECT_EQ(number.value_or(0), c.number) << c.text;
    EXPECT_EQ(problem, c.problem) << c.text;
  }
}

TEST(ProgressTextTest, FitsTheCellsItIsGivenDroppingTheLeastNeededFirst) {
  jobs::ProgressState state(1000);
  state.setallcount(10);
  state.setcopycount(3);
  state.setallbyte(100 * 1048576.0f);
  state.setcopybyte(25 * 1048576.0f);
  const struct {
    int cells;
    std::string text;
  } cases[] = {
      {200, "バックアップ中です 3/10 個  25.0/100.0 MB  120.00 MByte/分  00.01.05"},
      {60, "3/10 個  25.0/100.0 MB  120.00 MByte/分  00.01.05"},
      {39, "3/10 個  25.0/100.0 MB  00.01.05"},
      {29, "3/10 個  25.0/100.0 MB"},
      {7, "3/10 個"},
      {6, "3/10 "},  // never half a wide character
  };
  for (const auto& c : cases) {
    const std::string text = cli::progressText("バックアップ中です", state, 120, 1065, c.cells);
    EXPECT_EQ(text, c.text) << c.cells;
    EXPECT_LE(cli::displayWidth(text), c.cells);
  }
}

// The width is asked at every drawing, so a terminal made narrower gets a shorter line.
TEST(ProgressLineTest, FollowsAResize) {
  int columns = 80;
  cli::ProgressLine line(true, [&columns] { return columns; });
  jobs::ProgressState state(1000);
  testing::internal::CaptureStderr();
  line.draw(state, "テスト中です", 0, 1000);
  columns = 30;
  line.draw(state, "テスト中です", 0, 1000);
  line.clear();
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string wide = "\r\033[Kテスト中です 0/0 個  0.0/0.0 MB    0.00 MByte/分  00.00.00";
  ASSERT_EQ(err.rfind(wide, 0), 0u) << err;
  EXPECT_EQ(err.substr(wide.size()), "\r\033[K0/0 個  0.0/0.0 MB  00.00.00\r\033[K");
}

TEST(RunSummaryTest, FilesBytesElapsedAndAverageRate) {
  jobs::RunResult result;
  result.filesDone = 1234;
  result.filesSkipped = 1;
  result.bytesDone = 3 * 1048576;
  EXPECT_EQ(cli::runSummary("バックアップ", result, 90),
            "バックアップ: 1,234 個完了  1 個スキップ  3,145,728 バイト  経過 00.01.30  平均 2.00 "
            "MByte/分");
  // No rate out of no time; hours go on past a day.
  const std::string instant = cli::runSummary("テスト", result, 0);
  EXPECT_EQ(instant.substr(instant.rfind("  ")), "  平均 0.00 MByte/分") << instant;
  EXPECT_NE(cli::runSummary("リストア", result, 90061).find("経過 25.01.01"), std::string::npos);
}

class CommandLineTest : public ::testing::Test {
 protected:
  CliResult run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--tape", tape().string(), "--config", config().string()});
    return runCli(dir, args);
  }
  fs::path tape() const { return dir.path() / "tape.tap"; }
  fs::path config() const { return dir.path() / "k.ini"; }
  TempDir dir;
};

// Every command that takes a set number refuses the same texts with the same messages,
// before the drive is touched.
TEST_F(CommandLineTest, EveryCommandReadsItsSetNumberAlike) {
  const std::vector<std::vector<std::string>> commands = {
      {"files"}, {"test"}, {"restore", "--to", dir.path().string()}, {"--yes", "delete-from"}};
  const std::pair<std::string, std::string> inputs[] = {{"0", kBelowOne},
                                                        {"-1", kBelowOne},
                                                        {"abc", "'abc' は整数ではありません"},
                                                        {"99999999999", kAboveLast}};
  for (const auto& command : commands) {
    for (const auto& [text, message] : inputs) {
      auto args = command;
      args.push_back(text);
      const auto result = run(args);
      EXPECT_EQ(result.status, 64) << command[0] << " " << text;
      // "SET: ..." or "N: ...", as the positional is named.
      const std::string first = result.err.substr(0, result.err.find('\n'));
      EXPECT_EQ(first.substr(first.find(": ") + 2), message) << command[0] << " " << text;
    }
  }
  EXPECT_FALSE(fs::exists(tape()));
}

TEST_F(CommandLineTest, LastOfEachSwitchPairWins) {
  ASSERT_EQ(run({"--yes", "format", "--name", "T"}).status, 0);
  const fs::path src = dir.path() / "src";
  writeFile(src / "a", "a");
  // REWIND carries the Immed bit (command byte 1) only when --immediate came last.
  const auto rewinds = [this](const std::vector<std::string>& order) {
    auto args = order;
    args.insert(args.begin(), "--trace");
    args.push_back("rewind");
    std::set<std::string> seen;
    for (const auto& cdb : run(args).cdbs())
      if (cdb.rfind("01 ", 0) == 0) seen.insert(cdb);
    return seen;
  };
  EXPECT_EQ(rewinds({"--no-immediate", "--immediate"}), std::set<std::string>{"01 01 00 00 00 00"});
  EXPECT_EQ(rewinds({"--immediate", "--no-immediate"}), std::set<std::string>{"01 00 00 00 00 00"});

  ASSERT_EQ(run({"backup", "--name", "s", src}).status, 0);
  const fs::path out = dir.path() / "out";
  ASSERT_EQ(run({"restore", "1", "--to", out}).status, 0);
  EXPECT_EQ(run({"restore", "1", "--to", out, "--namecheck", "--no-namecheck"}).status, 0);
  EXPECT_EQ(run({"restore", "1", "--to", out, "--no-namecheck", "--namecheck"}).status, 1);
}

// Help shows the defaults the options file puts in effect, not CLI11's "{false}", and a
// plain restore does what it says.
TEST_F(CommandLineTest, HelpTellsTheDefaultsInEffect) {
  ASSERT_EQ(run({"--yes", "format", "--name", "T"}).status, 0);
  const fs::path src = dir.path() / "src", out = dir.path() / "out";
  writeFile(src / "a", "a");
  ASSERT_EQ(run({"backup", "--name", "s", src}).status, 0);
  ASSERT_EQ(run({"restore", "1", "--to", out}).status, 0);
  const fs::path copy = out / (src / "a").relative_path();
  fs::last_write_time(copy, fs::last_write_time(copy) + std::chrono::hours(1));

  auto help = run({"restore", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.find('{'), std::string::npos) << help.out;
  const std::string from = ", from " + config().string() + ")";
  EXPECT_NE(help.out.find("same name (default: off" + from), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("at backup (default: on" + from), std::string::npos) << help.out;
  EXPECT_EQ(run({"restore", "1", "--to", out}).status, 1);  // the newer copy is kept

  Options options;
  options.timecheck = false;
  options.eoduse = false;
  saveOptions(config().string(), options);
  help = run({"restore", "--help"});
  EXPECT_NE(help.out.find("at backup (default: off" + from), std::string::npos) << help.out;
  EXPECT_EQ(run({"restore", "1", "--to", out}).status, 0);
  help = run({"--help"});
  EXPECT_NE(help.out.find("count the sets instead) (default: off" + from), std::string::npos)
      << help.out;
}

TEST_F(CommandLineTest, VersionAndAnExampleForEveryCommand) {
  const auto version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("korvessian-cli ", 0), 0u) << version.out;
  for (const char* command : {"scan", "rewind", "retension", "eject", "erase", "format", "sets",
                              "files", "delete-last", "delete-from", "backup", "restore", "test"}) {
    const auto help = run({command, "--help"});
    EXPECT_NE(help.out.find(std::string("Example:\n  korvessian-cli ")), std::string::npos)
        << command;
    EXPECT_NE(help.out.find(std::string(" ") + command), std::string::npos) << command;
  }
}

}  // namespace
}  // namespace korv::test
