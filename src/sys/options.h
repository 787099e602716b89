#pragma once
// The four user options and the options file that keeps them.

#include <string>

namespace korv {

// `opt`, in its order.
struct Options {
  bool rewindimm = true;   // REWIND with the Immed bit
  bool eoduse = true;      // the drive can space to end-of-data
  bool timecheck = true;   // restore: skip files that became newer on disk
  bool namecheck = false;  // restore: skip files that exist
};

inline constexpr const char* kOptionsSection = "SCSI_KORVESSIAN";

// korvessian.ini beside the executable when that folder is writable, else
// $XDG_CONFIG_HOME/korvessian/korvessian.ini (default ~/.config/...).
std::string defaultOptionsPath(const std::string& executablePath);

Options loadOptions(const std::string& iniPath);  // defaults for anything missing

// Writes the four keys in order; throws std::runtime_error("<path> に書き込めません")
// when the file cannot be written.
void saveOptions(const std::string& iniPath, const Options& options);

}  // namespace korv
