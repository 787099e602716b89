// format, sets, files, delete-last, delete-from: the volume commands of the terminal
// program, with the confirmations, input and messages of the maintenance menu.

#include <unistd.h>

#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/volume_listing.h"
#include "sys/ini.h"
#include "tape/volume.h"

namespace korv::cli {

namespace {

constexpr const char* kDone = "正常終了．";
constexpr const char* kDeleteFailed = "削除出来ませんでした";
constexpr const char* kFormatFailed = "フォーマットエラーが発生したか，又は中断されました。";

// Answers the name prompt of formatting: with the text of --name, else with the offered
// default when nobody is at a terminal, else by asking. Everything else goes on to the
// session's own messages.
class NamePrompt : public MessageService {
 public:
  NamePrompt(MessageService& inner, std::optional<std::string> name)
      : inner_(inner), name_(std::move(name)) {}
  void beep(unsigned soundType) override { inner_.beep(soundType); }
  void show(BoxType type, const std::string& text) override { inner_.show(type, text); }
  bool confirm(const std::string& text) override { return inner_.confirm(text); }
  bool askYesNoError(const std::string& text) override { return inner_.askYesNoError(text); }
  std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                   const std::string& initial, int maxLength) override {
    if (name_) return name_;
    if (!isatty(STDIN_FILENO)) return initial;
    return inner_.input(caption, prompt, initial, maxLength);
  }

 private:
  MessageService& inner_;
  std::optional<std::string> name_;
};

// The text to integer conversion of the number box: decimal with a sign, or "$" / "0x"
// hex using all 32 bits; anything else is not an integer.
std::optional<int32_t> toInteger(const std::string& text) {
  const auto value = parseProfileInteger(text);
  if (!value) return std::nullopt;
  if (*value >= std::numeric_limits<int32_t>::min() &&
      *value <= std::numeric_limits<int32_t>::max())
    return static_cast<int32_t>(*value);
  const bool hex = text.find_first_of("$xX") != std::string::npos;
  if (hex && *value > 0 && *value <= 0xFFFFFFFFLL)
    return static_cast<int32_t>(static_cast<uint32_t>(*value));
  return std::nullopt;
}

int runFormat(Session& session, const std::optional<std::string>& name) {
  if (!session.messages().confirm(
          "このプログラムで使用できるように\r媒体を初期化します．\r初期化していいですか？"))
    return kExitFailed;
  TScsifile* sf = session.bindDrive();
  if (sf == nullptr) return kExitFailed;
  NamePrompt prompt(session.messages(), name);
  if (!formatVolume(*sf, prompt)) {
    session.messages().show(BoxType::Plain, kFormatFailed);
    return session.finish(false);
  }
  sf->TapeRewind();
  session.messages().show(BoxType::Plain, kDone);
  return session.finish(true);
}

int runDeleteLast(Session& session) {
  if (!session.messages().confirm("最後のバックアップセットを削除します．\r削除して良いですか？"))
    return kExitFailed;
  TScsifile* sf = session.bindDrive();
  if (sf == nullptr) return kExitFailed;
  if (!sf->DeleteLastSet()) {
    session.messages().show(BoxType::Plain, kDeleteFailed);
    return session.finish(false);
  }
  sf->TapeRewind();
  session.messages().show(BoxType::Plain, kDone);
  return session.finish(true);
}

int runDeleteFrom(Session& session, const std::string& text) {
  // The number is checked before anything is asked or sent, as a typed one would be.
  const auto number = toInteger(text);
  if (!number) {
    session.messages().show(BoxType::Error, "'" + text + "' は整数ではありません");
    return kExitUsage;
  }
  if (!session.messages().confirm(
          "指定した数以降のバックアップセットを削除します．\r続けて良いですか？"))
    return kExitFailed;
  if (*number <= 0) {
    session.messages().show(BoxType::Plain, kDeleteFailed);
    return session.finish(false);
  }
  TScsifile* sf = session.bindDrive();
  if (sf == nullptr) return kExitFailed;
  if (!sf->DeleteSetsFrom(*number)) {
    session.messages().show(BoxType::Plain, kDeleteFailed);
    return session.finish(false);
  }
  sf->TapeRewind();
  session.messages().show(BoxType::Plain, kDone);
  return session.finish(true);
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
  files->add_option("SET", *filesSet, "set number, from 1")->required();
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
  deleteFrom->add_option("N", *fromText, "first set to delete, from 1")->required();
  deleteFrom->callback([&context, fromText] {
    Session session(context.globals);
    context.exitStatus = runDeleteFrom(session, *fromText);
  });
}

}  // namespace korv::cli
