// format, sets, files, delete-last, delete-from: the volume commands of the terminal
// program. The maintenance ones run the core's commands with the box answers taken from
// the command line.

#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/maintenance_cli.h"
#include "cli/set_number.h"
#include "cli/volume_listing.h"

namespace korv::cli {

namespace {

int runFormat(Session& session, const std::optional<std::string>& name) {
  // Without --name the prompt is put to the terminal, which offers the default name
  // (and takes it when nobody is there to type).
  TerminalAnswers namePrompt(session.terminal());
  namePrompt.inputAnswer = name;
  return exitStatus(session,
                    jobs::formatTape(sessionTape(session), session.messages(), namePrompt));
}

int runDeleteLast(Session& session) {
  return exitStatus(session, jobs::deleteLastSet(sessionTape(session), session.messages()));
}

int runDeleteFrom(Session& session, const std::string& text) {
  // The number is checked before anything is asked or sent, as a typed one would be.
  if (!jobs::inputInteger(text, session.messages())) return kExitUsage;
  TerminalAnswers answers(session.terminal());
  answers.inputAnswer = text;
  return exitStatus(session, jobs::deleteSetsFrom(sessionTape(session), answers));
}

}  // namespace

void addVolumeCommands(CLI::App& app, CommandContext& context) {
  auto* format = app.add_subcommand("format", "write a new volume label (all sets are lost)");
  auto formatName = std::make_shared<std::optional<std::string>>();
  format->add_option_function<std::string>(
      "--name", [formatName](const std::string& name) { *formatName = name; },
      "tape name (default: SCSI-TAPE MEDIA and the date and time)");
  format->callback([&context, formatName] {
    Session session(context.globals);
    context.exitStatus = runFormat(session, *formatName);
  });

  auto* sets = app.add_subcommand("sets", "list the backup sets of the tape");
  auto setsJson = std::make_shared<bool>(false);
  sets->add_flag("--json", *setsJson, "print JSON");
  sets->callback([&context, setsJson] {
    Session session(context.globals);
    context.exitStatus = listSets(session, *setsJson);
  });

  auto* files = app.add_subcommand("files", "list the files of a backup set");
  auto filesSet = std::make_shared<int32_t>(0);
  auto filesJson = std::make_shared<bool>(false);
  files->add_option("SET", *filesSet, "set number, from 1")
      ->required()
      ->transform(setNumberValidator());
  files->add_flag("--json", *filesJson, "print JSON");
  files->callback([&context, filesSet, filesJson] {
    Session session(context.globals);
    context.exitStatus = listFiles(session, *filesSet, *filesJson);
  });

  auto* deleteLast = app.add_subcommand("delete-last", "delete the last backup set");
  deleteLast->callback([&context] {
    Session session(context.globals);
    context.exitStatus = runDeleteLast(session);
  });

  auto* deleteFrom = app.add_subcommand("delete-from", "delete the backup sets from number N on");
  auto fromText = std::make_shared<std::string>();
  deleteFrom->add_option("N", *fromText, "first set to delete, from 1")
      ->required()
      ->transform(setNumberValidator());
  deleteFrom->callback([&context, fromText] {
    Session session(context.globals);
    context.exitStatus = runDeleteFrom(session, *fromText);
  });
}

}  // namespace korv::cli
