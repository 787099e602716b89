#pragma once
// The set browser shared by the restore and test faces: the set names of the tape, the
// opening of one set (which leaves the tape at its first file stream), and the texts the
// browser shows. The selection rule and figures are in selection.h.

#include <cstdint>
#include <string>
#include <vector>

#include "sys/messages.h"
#include "tape/sfile.h"

namespace korv::jobs {

// Shown in the tape-name box when the volume cannot be mounted.
inline constexpr const char* kSetNamesUnavailable = "バックアップセット名は取得できませんでした";

struct SetList {
  bool mounted = false;
  std::string tapeName;            // CP932
  std::vector<std::string> names;  // CP932; names[k - 1] is set k
};

// Mounts the volume (its own message when the label is not this format's), reads the set
// names until the first failure, and rewinds.
SetList listSets(TScsifile& sf);

// Opens set `number` (from 1): the catalogue in sf.Catalogue, the tape at the set's first
// file stream, the name (CP932) in `name`. On failure: the exclamation sound and the
// warning "マウントできません".
bool openSet(TScsifile& sf, int32_t number, std::string& name, MessageService& messages);

// The entries of the set opened last, in catalogue order: line i of a file list is entry i.
inline const std::vector<sf_file2>& openSetEntries(const TScsifile& sf) {
  return sf.Catalogue;
}

}  // namespace korv::jobs
