// korvessian-cli: the tape utility for scripts and for machines without a display.

#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "cli/commands.h"
#include "scsi/bus.h"

int main(int argc, char** argv) {
  using namespace korv::cli;

  CLI::App app{"SCSI KORVESSIAN: back up files to a SCSI tape drive, list, restore and test them",
               "korvessian-cli"};
  app.require_subcommand(1);
  app.fallthrough();  // drive options may also follow the command
  auto formatter = std::make_shared<HelpFormatter>();
  formatter->column_width(32);  // the longest pair, "--immediate, --no-immediate", and a gap
  app.formatter(formatter);
  app.set_version_flag("--version", std::string("korvessian-cli ") + KORV_VERSION);

  CommandContext context;
  GlobalOptions& g = context.globals;
  auto* tape =
      app.add_option("--tape", g.tape, "emulated drive at id 4 over the tape image FILE (.tap)")
          ->type_name("FILE");
  auto* device =
      app.add_option("--device", g.device, "one drive: sg:/dev/sgN or iscsi://host[:port]/iqn/lun")
          ->type_name("URL")
          ->check(CLI::Validator(
              [](std::string& url) {
                return korv::parseDeviceUrl(url) ? std::string()
                                                 : "expected sg:/dev/sgN or "
                                                   "iscsi://host[:port]/target-iqn/lun";
              },
              ""));
  tape->excludes(device);
  app.add_option("--id", g.id,
                 "target id of the drive on the bus (default: the one `scan` "
                 "preselects)")
      ->type_name("N")
      ->check(CLI::Range(0, 255));
  app.add_option("--config", g.config,
                 "options file (default: korvessian.ini beside the "
                 "program, else ~/.config/korvessian/korvessian.ini)")
      ->type_name("FILE");
  const char* eodText = "space to end-of-data to append (--no-eod: count the sets instead)";
  context.fileDefaults.push_back(
      {addSwitch(app, "eod", g.eod, eodText), eodText, &korv::Options::eoduse});
  const char* immediateText = "rewind with the Immed bit (return before the tape is rewound)";
  context.fileDefaults.push_back({addSwitch(app, "immediate", g.immediate, immediateText),
                                  immediateText, &korv::Options::rewindimm});
  app.add_flag("--yes", g.yes, "answer yes to every confirmation");
  app.add_flag("--wait", g.wait, "retry while the medium is not ready");
  app.add_flag("--trace", g.trace, "print every SCSI command to standard error");

  addDeviceCommands(app, context);
  addVolumeCommands(app, context);
  addRunCommands(app, context);
  addExamples(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help tells the defaults of this user's options file (--config is read by now when
    // it came before --help).
    if (dynamic_cast<const CLI::CallForHelp*>(&e) || dynamic_cast<const CLI::CallForAllHelp*>(&e)) {
      const std::string path = optionsPathFor(g);
      describeDefaults(context.fileDefaults, korv::loadOptions(path), path);
    }
    const int status = app.exit(e);
    return status == 0 ? kExitDone : kExitUsage;
  } catch (const std::exception& e) {
    // What the desktop program's top-level handler would show in its error box.
    std::cerr << "ｴﾗｰ: " << e.what() << '\n';
    return kExitFailed;
  }
  return context.exitStatus;
}
