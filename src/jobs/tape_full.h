#pragma once
// The message of a backup that met the end of the medium: the set is closed with what
// fit, and the user learns which file was the first one left out.

#include <string>

namespace korv::jobs {

// `path`: the first file that is not on tape in full (UTF-8).
inline std::string tapeFullMessage(const std::string& path) {
  return "テープが一杯になりました．\r" + path + "以降のファイルはバックアップされていません";
}

}  // namespace korv::jobs
