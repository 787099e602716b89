#include "sys/options.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string_view>

#include "sys/cp932.h"
#include "sys/ini.h"

namespace korv {
namespace {

struct OptionKey {
  const char* utf8Name;
  bool Options::*field;
};

// In the order they are written.
constexpr OptionKey kKeys[] = {
    {"巻き戻しのイミディエート", &Options::rewindimm},
    {"EODコマンドの使用", &Options::eoduse},
    {"リストア時のタイムスタンプチェック", &Options::timecheck},
    {"リストア時の同名チェック", &Options::namecheck},
};

// The file holds the names in CP932; these texts all have a CP932 form.
std::string fileName(const char* utf8) {
  return utf8ToCp932(utf8).value();
}

std::string configHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    return xdg;
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr) home = pw->pw_dir;
  }
  return std::string(home != nullptr ? home : ".") + "/.config";
}

}  // namespace

std::string defaultOptionsPath(const std::string& executablePath) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path folder = fs::absolute(fs::path(executablePath), ec).parent_path();
  if (!ec && !folder.empty() && access(folder.c_str(), W_OK) == 0) {
    return (folder / "korvessian.ini").string();
  }
  fs::path configFolder = fs::path(configHome()) / "korvessian";
  fs::create_directories(configFolder, ec);  // if this fails, saving reports the path
  return (configFolder / "korvessian.ini").string();
}

Options loadOptions(const std::string& iniPath) {
  Options options;
  for (const OptionKey& key : kKeys) {
    auto text = readProfileString(iniPath, kOptionsSection, fileName(key.utf8Name));
    if (!text) continue;
    if (auto value = parseProfileInteger(*text)) options.*key.field = *value != 0;
  }
  return options;
}

void saveOptions(const std::string& iniPath, const Options& options) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const OptionKey& key : kKeys) {
    entries.emplace_back(fileName(key.utf8Name), options.*key.field ? "1" : "0");
  }
  if (!writeProfileStrings(iniPath, kOptionsSection, entries)) {
    throw std::runtime_error(iniPath + " に書き込めません");
  }
}

}  // namespace korv
