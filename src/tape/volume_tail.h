#pragma once
// The end of the volume as an interrupted run leaves it, and what appending and cutting
// make of it. A run killed while writing its data leaves a data file without its ending
// filemark; one killed (or refused by a full disk) while writing its catalogue leaves a
// set header behind the last filemark with no filemark after it. Either tail upsets every
// filemark count behind it, so it is found and mended before anything is appended, and a
// cut of the last set removes exactly the set the listing shows last.
//
// The tail is found by walking the volume forward only, set by set: read the header,
// space over the catalogue's filemark, space over the data file's filemark. Nothing
// spaces backward (a drive's answer to that varies) or relies on end-of-data spacing.

#include <cstdint>
#include <optional>
#include <string>

#include "tape/sfile.h"

namespace korv {

enum class TailState {
  Clean,         // the last set ends with its data file's filemark
  OpenDataFile,  // the last set's data file lacks its ending filemark
  CutCatalogue,  // a set header behind the last filemark, its catalogue never closed
};

struct VolumeTail {
  TailState state = TailState::Clean;
  int32_t completeSets = 0;  // sets with both their filemarks
  std::string lastName;      // CP932 name of the last set header read; empty when none
  // The sets as the set list shows them: a started set at the tail is one of them.
  int32_t listedSets() const { return completeSets + (state == TailState::Clean ? 0 : 1); }
  // The number a set appended behind this tail gets: a set whose data file is closed
  // first stays in front of it, a cut catalogue gives up its place.
  int32_t appendedSetNumber() const {
    return completeSets + (state == TailState::OpenDataFile ? 2 : 1);
  }
};

// Walks the volume from its label to its end. Nullopt when the tape cannot be rewound, the
// label's filemark is missing, or the walk stops anywhere but at the end of the recorded
// data (a read error on the way, a foreign record). The tape is left where it stopped.
std::optional<VolumeTail> surveyTail(TScsifile& sf);

// Appends a new set named `name` (CP932) whose entries are the component's Catalogue:
// the tail is surveyed, an open data file gets its ending filemark, a cut catalogue is
// overwritten, then the set header, the entries and the catalogue's filemark are written
// and the set is open for its data. `found` receives the tail as it was found.
bool appendSet(TScsifile& sf, const std::string& name, VolumeTail& found);

// True when set `number` is the last set of the volume and its header names `name`.
bool confirmLastSet(TScsifile& sf, int32_t number, const std::string& name);

}  // namespace korv
