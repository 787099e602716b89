#include "jobs/set_browser.h"

namespace korv::jobs {

SetList listSets(TScsifile& sf) {
  SetList list;
  if (!sf.MountVolume(list.tapeName)) {
    list.tapeName.clear();
    return list;
  }
  list.mounted = true;
  std::string name;
  if (sf.ReadFirstSetName(name)) {
    list.names.push_back(name);
    while (sf.ReadNextSetName(name)) list.names.push_back(name);
  }
  sf.TapeRewind();
  return list;
}

bool openSet(TScsifile& sf, int32_t number, std::string& name, MessageService& messages) {
  if (sf.OpenSet(number, name)) return true;
  messages.beep(kBeepExclamation);
  messages.show(BoxType::Warning, "マウントできません");
  return false;
}

}  // namespace korv::jobs
