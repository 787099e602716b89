// The terminal program under signals and with images it cannot use: SIGTERM and SIGHUP
// end a run as Ctrl-C does, with exit status 2; a busy image, a folder and a missing
// folder each say so at once instead of asking whether to retry.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_run.h"

extern char** environ;

namespace korv::test {
namespace {

namespace fs = std::filesystem;

class InterruptionsCliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(run({"--yes", "format", "--name", "T"}).status, 0); }

  std::vector<std::string> withTape(std::vector<std::string> args, const fs::path& tape) {
    args.insert(args.begin(),
                {"--tape", tape.string(), "--config", (dir.path() / "k.ini").string()});
    return args;
  }
  CliResult run(std::vector<std::string> args) { return runCli(dir, withTape(args, image)); }

  // Runs the program with its standard output on a pipe that is not read until the first
  // log line has come: the run is then in its file loop, and with more log than the pipe
  // holds it cannot finish before `signal` reaches it.
  CliResult signalAfterFirstLogLine(std::vector<std::string> args, int signal) {
    const char* cli = std::getenv("KORV_CLI");
    std::vector<std::string> all = withTape(args, image);
    all.insert(all.begin(), cli);
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    const std::string errPath = (dir.path() / "signalled.err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, cli, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    CliResult result;
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') result.out += c;
    kill(pid, signal);
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) result.out.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readFile(errPath);
    return result;
  }

  TempDir dir;
  fs::path image = dir.path() / "tape.tap";
};

TEST_F(InterruptionsCliTest, TermAndHupEndABackupAndARestoreAsCtrlCDoes) {
  // Names that Shift-JIS cannot hold: each gives a log line as the run reaches it.
  const fs::path unnamed = dir.path() / "unnamed";
  fs::create_directories(unnamed);
  for (int i = 0; i < 1000; ++i)
    std::ofstream(unnamed / ("\U0001F600" + std::to_string(i) + ".txt")) << "x";
  const fs::path plain = dir.path() / "plain";
  fs::create_directories(plain);
  for (int i = 0; i < 1000; ++i) std::ofstream(plain / ("file" + std::to_string(i))) << i;
  ASSERT_EQ(run({"backup", "--name", "plain", plain.string()}).status, 0);
  const fs::path out = dir.path() / "out";
  ASSERT_EQ(run({"restore", "1", "--to", out.string()}).status, 0);

  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    const auto backup =
        signalAfterFirstLogLine({"backup", "--name", "cut", unnamed.string()}, signal);
    EXPECT_EQ(backup.status, 2);
    EXPECT_EQ(backup.err, "警告: 中断しました\n情報: 終了しました．\n");
    // Every file already in the same place: one log line each, the data read through.
    const auto restore =
        signalAfterFirstLogLine({"restore", "1", "--to", out.string(), "--namecheck"}, signal);
    EXPECT_EQ(restore.status, 2);
    EXPECT_EQ(restore.err, "警告: 中断しました\n情報: 終了しました\n");
  }
  // The interrupted sets are on tape, closed, and the next backup goes behind them.
  ASSERT_EQ(run({"backup", "--name", "after", (plain / "file1").string()}).status, 0);
  const auto sets = run({"sets"});
  EXPECT_NE(sets.out.find("   5  after"), std::string::npos) << sets.out;
}

TEST_F(InterruptionsCliTest, ImagesThatCannotBecomeReadySayWhyAtOnce) {
  const fs::path folder = dir.path() / "folder.tap";
  fs::create_directories(folder);
  const fs::path missing = dir.path() / "nowhere" / "tape.tap";
  const int held = open(image.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);  // as another program's drive holds it

  struct Case {
    fs::path tape;
    std::string message;
  };
  const Case cases[] = {
      {image, "テープイメージ " + image.string() + " は他のプログラムが使用中です．"},
      {folder, "テープイメージ " + folder.string() +
                   " はフォルダーです．イメージのファイル名を指定して下さい．"},
      {missing,
       "テープイメージのフォルダー " + (dir.path() / "nowhere").string() + "/ がありません．"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tape);
    // --wait waits only for a medium that can become ready.
    const auto sets = runCli(dir, withTape({"--wait", "sets"}, c.tape));
    EXPECT_EQ(sets.status, 2);
    EXPECT_NE(sets.err.find("ｴﾗｰ: " + c.message), std::string::npos) << sets.err;
    EXPECT_EQ(sets.err.find("媒体の準備が出来ていません"), std::string::npos) << sets.err;
  }
  close(held);
  EXPECT_FALSE(fs::exists(missing.parent_path()));
}

}  // namespace
}  // namespace korv::test
