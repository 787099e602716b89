#pragma once
// The --x / --no-x pairs of the terminal program: the last one given wins, and neither
// leaves the option as the options file has it.

#include <optional>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace korv::cli {

struct Switch {
  bool on = false;
  CLI::Option* option = nullptr;
  // The last of the pair given on the command line; nullopt when neither was.
  std::optional<bool> given() const;
};

// Adds "--NAME" and "--no-NAME" as one option.
CLI::Option* addSwitch(CLI::App& app, const std::string& name, Switch& target,
                       const std::string& description);

}  // namespace korv::cli
