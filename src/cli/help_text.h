#pragma once
// What --help says beyond the options themselves: the defaults that come from the options
// file as they are in effect, an example for each command, and option names without
// CLI11's "{false}" decoration.

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "sys/options.h"

namespace korv::cli {

// An option whose default is one of the four user options of the options file.
struct FileDefault {
  CLI::Option* option = nullptr;
  std::string description;  // without the default
  bool Options::*field = nullptr;
};

// Names pairs as "--x, --no-x" (CLI11 shows "--x,--no-x{false}", as if off were the
// default whatever the options file says).
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option_name(const CLI::Option* option, bool positional) const override;
};

// Appends to each description the default in effect, and the file it comes from.
void describeDefaults(const std::vector<FileDefault>& defaults, const Options& options,
                      const std::string& optionsPath);

// The examples under each command's help and under the program's.
void addExamples(CLI::App& app);

}  // namespace korv::cli
