// backup, restore, test: the runs of the core, started from the terminal. Log lines go to
// standard output, message boxes to standard error, a progress line to standard error
// when it is a terminal; Ctrl-C, SIGTERM and SIGHUP request the run's abort.

#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/run_summary.h"
#include "cli/run_terminal.h"
#include "cli/set_number.h"
#include "jobs/backup_run.h"
#include "jobs/dirsearch.h"
#include "jobs/restore_run.h"
#include "jobs/selection.h"
#include "jobs/set_browser.h"
#include "jobs/test_run.h"
#include "sys/abort_signals.h"
#include "sys/cp932.h"

namespace korv::cli {
namespace {

// What every run command sets up around the core's run.
struct TerminalFaces {
  explicit TerminalFaces(Session& session)
      : line(isatty(STDERR_FILENO) != 0),
        messages(session.messages(), line),
        progress(line),
        log(line),
        faces{messages, progress, log, session.opt()} {}
  ProgressLine line;
  LineClearingMessages messages;
  TerminalProgressFactory progress;
  StdoutLog log;
  jobs::RunFaces faces;
};

int exitStatus(Session& session, const jobs::RunResult& result) {
  // A run that ended early, by an error, an abort or the end of the tape, did not do what
  // was asked.
  if (!result.started() || result.aborted || result.errors > 0 || result.tapeFull)
    return session.finish(false);
  if (result.logLines > 0) session.noteSkipped();
  return session.finish(true);
}

// A folder is listed with everything below it, a file as itself. The path on tape is
// absolute; links the user named are kept in the path as typed.
bool listPath(const std::string& given, jobs::FileList& filelist, jobs::LeftOutList& leftOut,
              MessageService& messages) {
  std::error_code error;
  std::string path = std::filesystem::absolute(given, error).lexically_normal().string();
  if (error) path = given;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    messages.show(BoxType::Error, given + " が見つかりません");
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    if (path.back() != '/') path += '/';
    std::vector<std::string> unsearchable;
    jobs::dirsearch(path, filelist, &unsearchable, &leftOut);
    for (const auto& folder : unsearchable) {
      messages.show(BoxType::Warning, folder + " は検索できませんでした");
    }
    return true;
  }
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (!S_ISREG(st.st_mode) || !jobs::listFile(path, filelist, error)) {
    messages.show(BoxType::Error, given + " は通常のファイルでもフォルダーでもありません");
    return false;
  }
  return true;
}

int runBackup(Session& session, const std::string& name, const std::vector<std::string>& paths) {
  TerminalFaces terminal(session);
  jobs::FileList filelist;
  jobs::LeftOutList leftOut;
  for (const auto& path : paths) {
    if (!listPath(path, filelist, leftOut, terminal.messages)) return session.finish(false);
  }
  TScsifile* sf = session.bindDrive();
  if (sf == nullptr) return kExitFailed;
  jobs::ListSelection all(filelist.size());
  AbortOnSignals signals;
  const auto begin = std::chrono::steady_clock::now();
  const auto result = jobs::backupRun(*sf, filelist, all, name, terminal.faces, leftOut);
  printRunSummary("バックアップ", result, begin);
  return exitStatus(session, result);
}

// Selects the catalogue entries whose path (decoded) matches one of the patterns; all of
// them when there is none. '*' also matches '/', and '\' is an ordinary character, so
// Windows paths can be matched as they stand.
jobs::ListSelection selectEntries(const std::vector<sf_file2>& catalogue,
                                  const std::vector<std::string>& globs) {
  jobs::ListSelection selection(catalogue.size(), globs.empty());
  if (globs.empty()) return selection;
  for (size_t i = 0; i < catalogue.size(); ++i) {
    const std::string path = cp932ToUtf8(catalogue[i].name);
    for (const auto& glob : globs) {
      if (fnmatch(glob.c_str(), path.c_str(), FNM_NOESCAPE) == 0) {
        selection.set(i, true);
        break;
      }
    }
  }
  return selection;
}

// Binds, mounts and opens set `number`; null when any of it fails (each says why).
TScsifile* openSetFor(Session& session, int32_t number, MessageService& messages) {
  TScsifile* sf = session.bindDrive();
  if (sf == nullptr) return nullptr;
  std::string tapeName;
  if (!sf->MountVolume(tapeName)) return nullptr;
  std::string setName;
  if (!jobs::openSet(*sf, number, setName, messages)) return nullptr;
  return sf;
}

class FixedDestination : public jobs::DestinationSource {
 public:
  explicit FixedDestination(std::string folder) : folder_(std::move(folder)) {}
  std::string destination() override { return folder_; }

 private:
  std::string folder_;
};

struct RestoreArgs {
  int32_t set = 0;
  std::string to;
  std::vector<std::string> globs;
  Switch namecheck;
  Switch timecheck;
};

int runRestore(Session& session, const RestoreArgs& args) {
  Options& opt = session.opt();
  opt.namecheck = args.namecheck.given().value_or(opt.namecheck);
  opt.timecheck = args.timecheck.given().value_or(opt.timecheck);
  TerminalFaces terminal(session);
  TScsifile* sf = openSetFor(session, args.set, terminal.messages);
  if (sf == nullptr) return session.finish(false);
  auto selection = selectEntries(sf->Catalogue, args.globs);
  FixedDestination destination(args.to);
  AbortOnSignals signals;
  const auto begin = std::chrono::steady_clock::now();
  const auto result = jobs::restoreRun(*sf, selection, destination, terminal.faces);
  printRunSummary("リストア", result, begin);
  return exitStatus(session, result);
}

int runTest(Session& session, int32_t set, const std::vector<std::string>& globs) {
  TerminalFaces terminal(session);
  TScsifile* sf = openSetFor(session, set, terminal.messages);
  if (sf == nullptr) return session.finish(false);
  auto selection = selectEntries(sf->Catalogue, globs);
  AbortOnSignals signals;
  const auto begin = std::chrono::steady_clock::now();
  const auto result = jobs::testRun(*sf, selection, terminal.faces);
  printRunSummary("テスト", result, begin);
  return exitStatus(session, result);
}

}  // namespace

void addRunCommands(CLI::App& app, CommandContext& context) {
  auto* backup = app.add_subcommand("backup", "back up files and folders as a new set");
  auto backupName = std::make_shared<std::string>();
  auto backupPaths = std::make_shared<std::vector<std::string>>();
  backup->add_option("--name", *backupName, "backup set name")->required()->type_name("NAME");
  backup->add_option("PATH", *backupPaths, "files and folders (folders with all below them)")
      ->required();
  backup->callback([&context, backupName, backupPaths] {
    Session session(context.globals);
    context.exitStatus = runBackup(session, *backupName, *backupPaths);
  });

  auto* restore = app.add_subcommand("restore", "restore files of a set below a folder");
  auto restoreArgs = std::make_shared<RestoreArgs>();
  restore->add_option("SET", restoreArgs->set, "set number, from 1")
      ->required()
      ->transform(setNumberValidator());
  restore->add_option("--to", restoreArgs->to, "destination folder")->required()->type_name("DIR");
  restore
      ->add_option("--select", restoreArgs->globs,
                   "restore the paths matching GLOB ('*' also matches '/'); all when none")
      ->allow_extra_args(false)
      ->type_name("GLOB");
  const char* namecheckText = "do not restore over a file of the same name";
  context.fileDefaults.push_back(
      {addSwitch(*restore, "namecheck", restoreArgs->namecheck, namecheckText), namecheckText,
       &Options::namecheck});
  const char* timecheckText = "do not restore over a file that became newer than at backup";
  context.fileDefaults.push_back(
      {addSwitch(*restore, "timecheck", restoreArgs->timecheck, timecheckText), timecheckText,
       &Options::timecheck});
  restore->callback([&context, restoreArgs] {
    Session session(context.globals);
    context.exitStatus = runRestore(session, *restoreArgs);
  });

  auto* test = app.add_subcommand("test", "read files of a set back without writing them");
  auto testSet = std::make_shared<int32_t>(0);
  auto testGlobs = std::make_shared<std::vector<std::string>>();
  test->add_option("SET", *testSet, "set number, from 1")
      ->required()
      ->transform(setNumberValidator());
  test->add_option("--select", *testGlobs,
                   "test the paths matching GLOB ('*' also matches '/'); all when none")
      ->allow_extra_args(false)
      ->type_name("GLOB");
  test->callback([&context, testSet, testGlobs] {
    Session session(context.globals);
    context.exitStatus = runTest(session, *testSet, *testGlobs);
  });
}

}  // namespace korv::cli
