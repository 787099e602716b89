#include "integration_env.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace korv::test {

namespace fs = std::filesystem;

std::string iscsiPortal() {
  const char* url = std::getenv("KORV_ISCSI_URL");
  return url ? url : "";
}

bool tgtd(const std::string& action) {
  const char* command = std::getenv(("KORV_TGTD_" + action).c_str());
  if (command == nullptr) return false;
  return std::system(command) == 0;
}

CliProcess::CliProcess(const fs::path& folder, const std::vector<std::string>& args)
    : out_(folder / "cli.out"), err_(folder / "cli.err") {
  const char* cli = std::getenv("KORV_CLI");
  if (cli == nullptr) {
    ADD_FAILURE() << "KORV_CLI is not set";
    return;
  }
  std::vector<std::string> argv{cli};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (auto& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  started_ = std::chrono::steady_clock::now();
  pid_ = fork();
  if (pid_ == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(folder.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(cli, pointers.data());
    _exit(127);
  }
}

CliProcess::~CliProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void CliProcess::signal(int number) const {
  if (pid_ > 0) kill(pid_, number);
}

uint64_t CliProcess::bytesRead() const {
  std::ifstream io("/proc/" + std::to_string(pid_) + "/io");
  for (std::string key; io >> key;) {
    uint64_t value = 0;
    io >> value;
    if (key == "rchar:") return value;
  }
  return 0;
}

bool CliProcess::running() {
  if (pid_ <= 0 || reaped_) return false;
  reaped_ = waitpid(pid_, &rawStatus_, WNOHANG) == pid_;
  return !reaped_;
}

CliOutcome CliProcess::wait(std::chrono::milliseconds deadline) {
  CliOutcome outcome;
  if (pid_ <= 0) return outcome;
  int raw = rawStatus_;
  while (!reaped_) {
    if (waitpid(pid_, &raw, WNOHANG) == pid_) break;
    if (std::chrono::steady_clock::now() - started_ > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &raw, 0);
      outcome.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  outcome.took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started_);
  outcome.status = (!outcome.timedOut && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  outcome.out = readFile(out_);
  outcome.err = readFile(err_);
  return outcome;
}

CliOutcome runCli(const fs::path& folder, const std::vector<std::string>& args) {
  return CliProcess(folder, args).wait();
}

std::vector<std::pair<std::string, std::string>> treeContents(const fs::path& root) {
  std::vector<std::pair<std::string, std::string>> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file())
      files.emplace_back(fs::relative(it->path(), root).string(), readFile(it->path()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace korv::test
