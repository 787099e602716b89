// backup, restore and test from the terminal: output streams, selection by pattern, exit
// statuses, and Ctrl-C as the abort request.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/cli_run.h"
#include "cli/run_summary.h"
#include "cli/run_terminal.h"
#include "cli/text_format.h"

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

  // The last line of standard output (the run's summary) without its time and rate,
  // which vary from run to run.
  static std::string summaryCounts(const std::string& out) {
    const size_t start = out.rfind('\n', out.size() - 2);
    const std::string last = out.substr(start == std::string::npos ? 0 : start + 1);
    return last.substr(0, last.find("  経過 "));
  }

  TempDir dir;
  fs::path src;
};

TEST_F(RunsCliTest, BackupRestoreAndTestThroughTheTerminal) {
  const auto backup = run({"backup", "--name", "セット", src.string()});
  ASSERT_EQ(backup.status, 0) << backup.err;
  EXPECT_EQ(backup.err, "情報: 終了しました．\n");  // no progress line without a terminal
  EXPECT_EQ(summaryCounts(backup.out), "バックアップ: 3 個完了  0 個スキップ  70,010 バイト");
  EXPECT_EQ(std::count(backup.out.begin(), backup.out.end(), '\n'), 1);

  const auto test = run({"test", "1"});
  EXPECT_EQ(test.status, 0) << test.err;
  EXPECT_EQ(test.err, "情報: 終了しました\n");
  EXPECT_EQ(summaryCounts(test.out), "テスト: 3 個完了  0 個スキップ  70,010 バイト");

  // '*' also matches '/': one pattern picks a file in a subfolder.
  const fs::path out = dir.path() / "out";
  const auto restore = run({"restore", "1", "--to", out.string(), "--select", "*sub*"});
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_EQ(std::string(readFile(restored(out, src / "sub" / "b.bin"))), std::string(70000, 'b'));
  EXPECT_FALSE(fs::exists(restored(out, src / "a.txt")));

  // Everything, and a same-name check that skips: the log line on stdout, status 1.
  const auto again = run({"restore", "1", "--to", out.string(), "--namecheck"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.out.substr(0, again.out.find('\n') + 1),
            restored(out, src / "sub" / "b.bin").string() +
                " はリストア先に存在するのでリストアしません．\n");
  EXPECT_EQ(summaryCounts(again.out), "リストア: 2 個完了  1 個スキップ  10 バイト");
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

// A file the stream cannot hold is listed at its whole size, from the find-data record's
// two halves, and marked: not as its low half (10) nor as a negative number.
TEST_F(RunsCliTest, FilesShowsTheTrueSizeOfFilesTooLargeToStore) {
  const fs::path big = dir.path() / "big";
  fs::create_directories(big);
  const std::map<std::string, uint64_t> sizes = {{"four", 4294967306ull}, {"two", 2147483648ull}};
  for (const auto& [name, size] : sizes) {
    { std::ofstream touch(big / name); }
    fs::resize_file(big / name, size);  // sparse: only the size is ever looked at
  }
  const auto backup = run({"backup", "--name", "big", big.string()});
  EXPECT_EQ(backup.status, 1) << backup.err;
  EXPECT_EQ(summaryCounts(backup.out), "バックアップ: 0 個完了  2 個スキップ  0 バイト");

  const auto text = run({"files", "1"});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find(" *4294967306 "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find(" *2147483648 "), std::string::npos) << text.out;
  EXPECT_NE(text.err.find("2GB以上"), std::string::npos) << text.err;

  const auto listed = nlohmann::json::parse(run({"files", "1", "--json"}).out);
  ASSERT_EQ(listed["files"].size(), 2u);
  for (const auto& file : listed["files"]) {
    const std::string name = fs::path(file["path"].get<std::string>()).filename();
    EXPECT_EQ(file["size"], sizes.at(name));
    EXPECT_EQ(file["too_large"], true);
  }
}

// Below a folder only regular files are backed up; each thing left out says so, and
// leaving it out is not a failure.
TEST_F(RunsCliTest, BackupLogsTheSpecialFilesItLeavesOut) {
  fs::create_symlink(src / "a.txt", src / "link");
  ASSERT_EQ(mkfifo((src / "fifo").c_str(), 0600), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (src / "sock").c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(sock);

  const auto backup = run({"backup", "--name", "s", src.string()});
  EXPECT_EQ(backup.status, 0) << backup.err;
  for (const std::string& line :
       {(src / "link").string() + "はシンボリックリンクの為バックアップしません",
        (src / "fifo").string() + "は名前付きパイプの為バックアップしません",
        (src / "sock").string() + "はソケットの為バックアップしません"})
    EXPECT_NE(backup.out.find(line + "\n"), std::string::npos) << backup.out;
  EXPECT_EQ(summaryCounts(backup.out), "バックアップ: 3 個完了  0 個スキップ  70,010 バイト");
}

// On a narrow terminal every drawing of the progress line fits one row: none wraps and
// leaves a broken line behind when the next one is drawn over it.
TEST_F(RunsCliTest, ProgressLineFitsANarrowTerminal) {
  for (const int columns : {40, 50}) {
    int master = -1, slave = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
    std::vector<std::string> args = {std::getenv("KORV_CLI"),
                                     "--tape",
                                     (dir.path() / "tape.tap").string(),
                                     "--config",
                                     (dir.path() / "k.ini").string(),
                                     "backup",
                                     "--name",
                                     "n",
                                     src.string()};
    const pid_t child = fork();
    if (child == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(slave, 2);
      close(master);
      std::vector<char*> argv;
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(slave);
    std::string err;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) err.append(buffer, n);
    close(master);  // the read ends with EIO once the program has exited
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;

    EXPECT_NE(err.find("\r\033[K"), std::string::npos) << "no progress line drawn";
    size_t start = 0;
    while (start <= err.size()) {
      const size_t end = std::min(err.find_first_of("\r\n", start), err.size());
      std::string row = err.substr(start, end - start);
      if (row.rfind("\033[K", 0) == 0) row.erase(0, 3);
      EXPECT_LT(cli::displayWidth(row), columns) << row;
      start = end + 1;
    }
  }
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
