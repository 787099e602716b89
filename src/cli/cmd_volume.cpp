#include "cli/commands.h"

namespace korv::cli {

void addVolumeCommands(CLI::App&, CommandContext&) {}

}  // namespace korv::cli
