#pragma once
// What the terminal adds to the maintenance commands of the core: answers a person would
// give in a box (the number of delete-from, the name of format --name), confirmations
// that a script need not give, the drive bound only once the command may go ahead, and
// the exit status of the outcome.

#include <optional>
#include <string>

#include "cli/session.h"
#include "cli/terminal_messages.h"
#include "jobs/maintenance_commands.h"

namespace korv::cli {

// The session's messages, with the input box answered from the command line when an
// answer was given, and with confirmations asked only of a person when `askOnlyIfAttended`
// (for commands that lose nothing: a script goes ahead).
class TerminalAnswers : public MessageService {
 public:
  explicit TerminalAnswers(TerminalMessages& terminal) : terminal_(terminal) {}

  bool askOnlyIfAttended = false;
  std::optional<std::string> inputAnswer;

  void beep(unsigned soundType) override { terminal_.beep(soundType); }
  void show(BoxType type, const std::string& text) override { terminal_.show(type, text); }
  bool confirm(const std::string& text) override {
    return askOnlyIfAttended ? terminal_.confirmIfAttended(text) : terminal_.confirm(text);
  }
  bool askYesNoError(const std::string& text) override { return terminal_.askYesNoError(text); }
  std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                   const std::string& initial, int maxLength) override {
    if (inputAnswer) return inputAnswer;
    return terminal_.input(caption, prompt, initial, maxLength);
  }

 private:
  TerminalMessages& terminal_;
};

// The session's drive, bound when the command first needs it.
inline jobs::TapeAccess sessionTape(Session& session) {
  return jobs::TapeAccess([&session] { return session.bindDrive(); });
}

// A declined or failed command is a failure for a script; a bad number a usage error.
// Each run is its own process, so an eject's disabled tape items need nothing here.
inline int exitStatus(Session& session, const jobs::MaintenanceResult& result) {
  switch (result.outcome) {
    case jobs::MaintenanceOutcome::Done:
      return session.finish(true);
    case jobs::MaintenanceOutcome::BadInput:
      return kExitUsage;
    case jobs::MaintenanceOutcome::Failed:
    case jobs::MaintenanceOutcome::Cancelled:
      break;
  }
  return session.finish(false);
}

}  // namespace korv::cli
