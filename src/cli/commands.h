#pragma once
// The terminal program's command groups. Each adds its subcommands to the app; a
// subcommand's callback leaves its exit status in `exitStatus`.

#include <CLI/CLI.hpp>
#include <vector>

#include "cli/help_text.h"
#include "cli/session.h"

namespace korv::cli {

struct CommandContext {
  GlobalOptions globals;
  int exitStatus = kExitDone;
  std::vector<FileDefault> fileDefaults;  // described in --help as the options file has them
};

void addDeviceCommands(CLI::App& app,
                       CommandContext& context);  // scan, rewind, retension, eject, erase
void addVolumeCommands(CLI::App& app,
                       CommandContext& context);  // format, sets, files, delete-last, delete-from
void addRunCommands(CLI::App& app, CommandContext& context);  // backup, restore, test

}  // namespace korv::cli
