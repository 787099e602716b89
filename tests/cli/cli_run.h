#pragma once
// Runs the built korvessian-cli (its path in KORV_CLI) with standard input from
// /dev/null, so it never has a terminal, and collects what it printed.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/test_files.h"

namespace korv::test {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;

  // The six command bytes of each traced command, in order ("01 01 00 00 00 00").
  std::vector<std::string> cdbs() const {
    std::vector<std::string> result;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("cdb ", 0) == 0) result.push_back(line.substr(4, 17));
    return result;
  }
  // The commands after the binding (the scan's and OpenDevice's INQUIRYs and TEST UNIT
  // READYs).
  std::vector<std::string> cdbsAfterBinding() const {
    std::vector<std::string> all = cdbs(), result;
    size_t i = 0;
    while (i < all.size() && (all[i].rfind("12 ", 0) == 0 || all[i].rfind("00 ", 0) == 0)) ++i;
    result.assign(all.begin() + static_cast<long>(i), all.end());
    return result;
  }
};

inline std::string shellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline CliResult runCli(const TempDir& dir, const std::vector<std::string>& args) {
  const char* cli = std::getenv("KORV_CLI");
  if (cli == nullptr) {
    ADD_FAILURE() << "KORV_CLI is not set";
    return {};
  }
  std::string command = "cd " + shellQuote(dir.path().string()) + " && " + shellQuote(cli);
  for (const auto& arg : args) command += " " + shellQuote(arg);
  const auto out = dir.path() / "cli.out", err = dir.path() / "cli.err";
  command += " </dev/null >" + shellQuote(out.string()) + " 2>" + shellQuote(err.string());
  const int raw = std::system(command.c_str());
  CliResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = readFile(out);
  result.err = readFile(err);
  return result;
}

}  // namespace korv::test
