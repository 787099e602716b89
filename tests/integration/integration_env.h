#pragma once
// What the iSCSI integration suite works with: the tape that scripts/tgtd-run serves
// (KORV_ISCSI_URL; the tests skip without it), the terminal program (KORV_CLI) run as a
// child process with a deadline, the daemon's fault switches, and source trees.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace korv::test {

// The target's portal URL (iscsi://127.0.0.1:PORT/IQN), empty when none was given.
std::string iscsiPortal();
// The tape drive's URL for --device: the portal and LUN 1.
inline std::string iscsiTape() {
  return iscsiPortal() + "/1";
}

#define REQUIRE_ISCSI()                                                           \
  do {                                                                            \
    if (::korv::test::iscsiPortal().empty())                                      \
      GTEST_SKIP() << "KORV_ISCSI_URL is not set (run through scripts/tgtd-run)"; \
  } while (0)

// Runs one of the daemon switches of scripts/tgtd-run: "PAUSE", "RESUME", "KILL", "STOP",
// "START". False when it failed or is not available.
bool tgtd(const std::string& action);

struct CliOutcome {
  int status = -1;  // exit status; -1 when killed at the deadline or by a signal
  bool timedOut = false;
  std::string out;
  std::string err;
  std::chrono::milliseconds took{0};
};

// korvessian-cli as a child process: stdin from /dev/null, stdout and stderr to files.
class CliProcess {
 public:
  // Starts the program with `args` in `folder` (where its outputs are kept).
  CliProcess(const std::filesystem::path& folder, const std::vector<std::string>& args);
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  void signal(int number) const;
  // What the program has read so far (its files, and little else): how far a backup got.
  uint64_t bytesRead() const;
  bool running();
  // Waits for the end; past `deadline` the child is killed and the outcome says so.
  CliOutcome wait(std::chrono::milliseconds deadline = std::chrono::seconds(60));

 private:
  std::filesystem::path out_, err_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int rawStatus_ = 0;
  std::chrono::steady_clock::time_point started_;
};

// Runs the program to its end (60 s at most).
CliOutcome runCli(const std::filesystem::path& folder, const std::vector<std::string>& args);

// Every regular file below `root` with its content, by path relative to it.
std::vector<std::pair<std::string, std::string>> treeContents(const std::filesystem::path& root);

}  // namespace korv::test
