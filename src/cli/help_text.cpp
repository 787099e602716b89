#include "cli/help_text.h"

#include <utility>

namespace korv::cli {

std::string HelpFormatter::make_option_name(const CLI::Option* option, bool positional) const {
  if (positional) return option->get_name(true, false);
  std::string names;
  for (const auto& name : option->get_lnames()) names += (names.empty() ? "--" : ", --") + name;
  for (const auto& name : option->get_snames())
    names = "-" + name + (names.empty() ? "" : ", ") + names;
  return names;
}

void describeDefaults(const std::vector<FileDefault>& defaults, const Options& options,
                      const std::string& optionsPath) {
  for (const auto& d : defaults) {
    d.option->description(d.description + " (default: " + (options.*d.field ? "on" : "off") +
                          ", from " + optionsPath + ")");
  }
}

void addExamples(CLI::App& app) {
  const std::pair<const char*, const char*> examples[] = {
      {"scan", "korvessian-cli scan --json"},
      {"rewind", "korvessian-cli --id 4 rewind"},
      {"retension", "korvessian-cli --device sg:/dev/sg1 retension"},
      {"eject", "korvessian-cli --yes eject"},
      {"erase", "korvessian-cli --tape /tmp/t.tap --yes erase"},
      {"format", "korvessian-cli --tape /tmp/t.tap --yes format --name \"毎日\""},
      {"sets", "korvessian-cli --tape /tmp/t.tap sets --json"},
      {"files", "korvessian-cli --tape /tmp/t.tap files 1"},
      {"delete-last", "korvessian-cli --tape /tmp/t.tap --yes delete-last"},
      {"delete-from", "korvessian-cli --tape /tmp/t.tap --yes delete-from 3"},
      {"backup", "korvessian-cli --tape /tmp/t.tap backup --name home ~/Documents ~/.bashrc"},
      {"restore", "korvessian-cli --tape /tmp/t.tap restore 1 --to /tmp/restored --select '*.txt'"},
      {"test", "korvessian-cli --tape /tmp/t.tap test 1"},
  };
  for (const auto& [command, example] : examples)
    app.get_subcommand(command)->footer(std::string("Example:\n  ") + example);
  app.footer(
      "Example:\n"
      "  korvessian-cli --tape /tmp/t.tap --yes format --name daily\n"
      "  korvessian-cli --tape /tmp/t.tap backup --name home ~/Documents\n"
      "\n"
      "Each command has its own help: korvessian-cli COMMAND --help.\n"
      "See korvessian-cli(1).");
}

}  // namespace korv::cli
