#include "cli/switches.h"

#include <CLI/CLI.hpp>

namespace korv::cli {

std::optional<bool> Switch::given() const {
  if (option == nullptr || option->count() == 0) return std::nullopt;
  return on;
}

CLI::Option* addSwitch(CLI::App& app, const std::string& name, Switch& target,
                       const std::string& description) {
  target.option = app.add_flag("--" + name + ",!--no-" + name, target.on, description)
                      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  return target.option;
}

}  // namespace korv::cli
