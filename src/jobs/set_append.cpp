#include "jobs/set_append.h"

#include "sys/cp932.h"
#include "tape/volume_tail.h"

namespace korv::jobs {

bool openNewSet(TScsifile& sf, const std::string& name, RunReporter& report, int32_t& number) {
  VolumeTail found;
  const bool opened = appendSet(sf, name, found);
  number = found.appendedSetNumber();
  if (!opened) return false;
  const std::string last = std::to_string(found.listedSets());
  switch (found.state) {
    case TailState::Clean:
      break;
    case TailState::OpenDataFile:
      report.log("テープ最後のバックアップセット" + last + "（" + cp932ToUtf8(found.lastName) +
                 "）は終わりのファイルマークが無かった為，ファイルマークを書き足しました．");
      break;
    case TailState::CutCatalogue:
      report.log("テープ最後のバックアップセット" + last + "（" + cp932ToUtf8(found.lastName) +
                 "）はカタログが途中で切れていた為，新しいセットで上書きしました．");
      break;
  }
  return true;
}

bool confirmNewSet(TScsifile& sf, int32_t number, const std::string& name, RunReporter& report) {
  if (confirmLastSet(sf, number, name)) return true;
  report.error("書き込んだバックアップセット" + std::to_string(number) +
               "がテープ上に見つかりません．このバックアップは使用できません．");
  return false;
}

}  // namespace korv::jobs
