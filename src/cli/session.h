#pragma once
// What every terminal command works on: the options given on the command line, the bus
// and drive they select, the bound tape component, and the exit status being built.

#include <memory>
#include <string>

#include "cli/switches.h"
#include "scsi/bus.h"
#include "scsi/transport.h"
#include "sys/messages.h"
#include "sys/options.h"
#include "tape/sfile.h"

namespace korv::cli {

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitSkipped = 1;  // done, but something was skipped or reported
inline constexpr int kExitFailed = 2;
inline constexpr int kExitUsage = 64;

struct GlobalOptions {
  std::string tape;    // --tape FILE
  std::string device;  // --device sg:/dev/sgN | iscsi://host[:port]/iqn/lun
  int id = -1;         // --id N
  std::string config;  // --config FILE (default: the options file)
  Switch eod;          // --eod / --no-eod (default: the options file)
  Switch immediate;    // --immediate / --no-immediate (default: the options file)
  bool yes = false;    // --yes
  bool wait = false;   // --wait
  bool trace = false;  // --trace
};

// The terminal's MessageService: boxes go to stderr as "TITLE: TEXT" (one line per line of
// the text); confirmations honour --yes, ask at a terminal and refuse otherwise; the
// not-ready question retries only with --wait or when a person answers at a terminal.
// It remembers whether any warning or error was shown (exit status 1).
class TerminalMessages;

class Session {
 public:
  explicit Session(GlobalOptions options);
  ~Session();

  const GlobalOptions& options() const { return options_; }
  Options& opt() { return opt_; }  // loaded from the options file, overridden by flags
  MessageService& messages();
  TerminalMessages& terminal();  // the same service, with the terminal's own questions
  EventPump& pump();
  const std::string& optionsPath() const { return optionsPath_; }

  // The bus (with --trace wrapped in the tracer). Opened on first use.
  ScsiTransport& transport();
  // Which bus that is, in words ("sg host 2 (iscsi_tcp)"); opens it when needed.
  const std::string& busDescription();
  // Opens the bus, chooses the target (--id; else the one the scan preselects) and binds
  // the tape component with OpenDevice. On failure prints the reason ("システム初期化失敗",
  // that no drive was found, or that the drive does not answer) and returns null.
  TScsifile* bindDrive();

  // Exit-status bookkeeping for commands.
  void noteSkipped() { skipped_ = true; }
  // 2 when !ok or the drive stopped answering (said here), 1 when something was skipped or
  // warned, else 0.
  int finish(bool ok) const;

 private:
  GlobalOptions options_;
  Options opt_;
  std::string optionsPath_;
  bool skipped_ = false;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The options file the command line names (--config), else the default one.
std::string optionsPathFor(const GlobalOptions& options);

}  // namespace korv::cli
