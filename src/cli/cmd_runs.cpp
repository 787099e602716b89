#include "cli/commands.h"

namespace korv::cli {

void addRunCommands(CLI::App&, CommandContext&) {}

}  // namespace korv::cli
