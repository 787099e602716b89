// scan and the maintenance commands that need nothing but the command set: rewind,
// retension, eject, erase (their confirmations, steps and messages live in the core).

#include <algorithm>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/maintenance_cli.h"
#include "cli/terminal_messages.h"
#include "cli/text_format.h"
#include "scsi/bus_scan.h"

namespace korv::cli {

namespace {

nlohmann::ordered_json textOrNull(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

nlohmann::ordered_json scanJson(const BusScan& scan, const std::string& bus) {
  nlohmann::ordered_json targets = nlohmann::ordered_json::array();
  for (int id = 0; id < kScanTargets; ++id) {
    const ScanRow& row = scan.rows()[id];
    targets.push_back({
        {"id", id},
        {"type", row.deviceType < 0 ? nlohmann::ordered_json(nullptr)
                                    : nlohmann::ordered_json(row.deviceType)},
        {"type_text", row.typeText},
        {"vendor", trimRight(displayText(row.vendor))},
        {"product", trimRight(displayText(row.product))},
        {"revision", trimRight(displayText(row.revision))},
        {"address", textOrNull(row.address)},
        {"failure",
         row.notAnswering ? nlohmann::ordered_json(row.failure) : nlohmann::ordered_json(nullptr)},
    });
  }
  return {{"adapter_id", scan.adapterId()}, {"targets", targets}, {"bus", bus}};
}

void printScanTable(const BusScan& scan, const std::string& bus) {
  std::cout << "bus: " << bus << '\n';
  std::vector<std::array<std::string, 5>> lines;
  lines.push_back(
      {kScanHeaders[0], kScanHeaders[1], kScanHeaders[2], kScanHeaders[3], kScanHeaders[4]});
  for (const ScanRow& row : scan.rows()) {
    lines.push_back({row.id, row.typeText, trimRight(displayText(row.vendor)),
                     trimRight(displayText(row.product)), displayText(revisionWithAddress(row))});
  }
  std::array<int, 5> widths{};
  for (const auto& line : lines)
    for (size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], displayWidth(line[c]));
  for (const auto& line : lines) {
    std::string text;
    for (size_t c = 0; c < line.size(); ++c)
      text += c + 1 < line.size() ? padRight(line[c], widths[c]) + "  " : line[c];
    std::cout << trimRight(text) << '\n';
  }
  std::cout << "現在のTAPEデバイスのSCSI-IDは" << scan.idText() << "です\n";
  for (int id = 0; id < kScanTargets; ++id) {
    const ScanRow& row = scan.rows()[id];
    if (row.notAnswering)
      std::cout << "id " << id << " does not answer" << (row.failure.empty() ? "" : ": ")
                << row.failure << '\n';
  }
}

int runScan(Session& session, bool json) {
  BusScan scan(session.transport(), session.pump(), session.messages());
  if (!scan.scan()) return session.finish(false);
  const std::string& bus = session.busDescription();
  if (json) {
    std::cout << scanJson(scan, bus).dump() << '\n';
  } else {
    printScanTable(scan, bus);
  }
  // A device that is there but does not answer is a failure, not a listing.
  return session.finish(scan.firstNotAnswering() < 0);
}

int runRewind(Session& session) {
  TerminalAnswers answers(session.terminal());
  answers.askOnlyIfAttended = true;  // a rewind loses nothing
  return exitStatus(session, jobs::rewindTape(sessionTape(session), answers));
}

int runRetension(Session& session) {
  TerminalAnswers answers(session.terminal());
  answers.askOnlyIfAttended = true;
  return exitStatus(session, jobs::retensionTape(sessionTape(session), answers));
}

int runEject(Session& session) {
  return exitStatus(session, jobs::ejectTape(sessionTape(session), session.messages()));
}

int runErase(Session& session) {
  return exitStatus(session, jobs::eraseTape(sessionTape(session), session.messages()));
}

// A subcommand whose callback runs `body` in a fresh session.
void addMaintenance(CLI::App& app, CommandContext& context, const char* name,
                    const char* description, int (*body)(Session&)) {
  app.add_subcommand(name, description)->callback([&context, body] {
    Session session(context.globals);
    context.exitStatus = body(session);
  });
}

}  // namespace

void addDeviceCommands(CLI::App& app, CommandContext& context) {
  auto json = std::make_shared<bool>(false);
  CLI::App* scan = app.add_subcommand(
      "scan", "list the devices on the bus (SCSI ids 0-7) and the tape drive that would be used");
  scan->add_flag("--json", *json, "print JSON");
  scan->callback([&context, json] {
    Session session(context.globals);
    context.exitStatus = runScan(session, *json);
  });

  addMaintenance(app, context, "rewind", "rewind the tape", runRewind);
  addMaintenance(app, context, "retension", "wind the tape to the end of its data and back",
                 runRetension);
  addMaintenance(app, context, "eject", "rewind and unload the tape (asks; --yes)", runEject);
  addMaintenance(app, context, "erase", "erase everything on the tape (asks; --yes)", runErase);
}

}  // namespace korv::cli
