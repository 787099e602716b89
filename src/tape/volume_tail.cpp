#include "tape/volume_tail.h"

#include <limits>

#include "scsi/sense.h"
#include "sys/datetime.h"
#include "tape/records.h"
#include "tape/volume.h"

namespace korv {

namespace {

// Whether the command that just failed met the end of the recorded data, as its sense
// says: blank check, or "end-of-data detected" (00/05, which tgtd gives a SPACE without
// the blank-check key). Any other failure, a medium error in the middle of the volume or
// a record of a foreign size, leaves the tail unknown: nothing is written on a guess.
bool metEndOfData(const TScsifile& sf) {
  const SenseInfo sense = decodeSense(sf.AspiRequest.SenseArea, kSenseAllocation);
  return sense.valid && (sense.key == SENSE_BLANK_CHECK || (sense.asc == 0 && sense.ascq == 5));
}

}  // namespace

std::optional<VolumeTail> surveyTail(TScsifile& sf) {
  if (!sf.Opened) return std::nullopt;
  if (!sf.TapeRewind()) return std::nullopt;
  if (!sf.TapeSpace(1, SpaceFilemarks)) return std::nullopt;

  VolumeTail tail;
  SetHeaderBlock block;
  for (;;) {
    if (!sf.TapeRead(block.data(), kSetHeaderSize)) {
      if (!metEndOfData(sf)) return std::nullopt;
      return tail;
    }
    const auto header = decodeSetHeader(block);
    if (!header) return std::nullopt;
    tail.lastName = header->name;
    if (!sf.TapeSpace(1, SpaceFilemarks)) {
      if (!metEndOfData(sf)) return std::nullopt;
      tail.state = TailState::CutCatalogue;
      return tail;
    }
    if (!sf.TapeSpace(1, SpaceFilemarks)) {
      if (!metEndOfData(sf)) return std::nullopt;
      tail.state = TailState::OpenDataFile;
      return tail;
    }
    if (tail.completeSets == std::numeric_limits<int32_t>::max()) return std::nullopt;
    ++tail.completeSets;
  }
}

namespace {

// Leaves the tape where the set after the complete ones begins, mending the tail on the
// way; false when that place cannot be reached.
bool positionBehindCompleteSets(TScsifile& sf, VolumeTail& tail) {
  switch (tail.state) {
    case TailState::Clean:
      // The walk stopped at the end of the recorded data, right behind the last filemark.
      return true;
    case TailState::OpenDataFile:
      // The failed space stopped at the end of that data file: its ending filemark goes
      // there, which is the layout an aborted run leaves, its complete files restorable.
      if (!sf.TapeWriteFilemarks(1)) return false;
      ++tail.completeSets;
      return true;
    case TailState::CutCatalogue: {
      // The new set takes the cut catalogue's place; writing there ends the old records.
      const int32_t filemarks = filemarksBeforeSet(tail.completeSets + 1);
      return filemarks > 0 && sf.TapeRewind() && sf.TapeSpace(filemarks, SpaceFilemarks);
    }
  }
  return false;
}

}  // namespace

bool appendSet(TScsifile& sf, const std::string& name, VolumeTail& found) {
  auto tail = surveyTail(sf);
  if (!tail) return false;
  found = *tail;
  if (!positionBehindCompleteSets(sf, *tail)) return false;

  const auto header =
      encodeSetHeader({name, nowDateTime(), static_cast<int32_t>(sf.Catalogue.size())});
  if (!sf.TapeWrite(header.data(), kSetHeaderSize)) return false;
  for (const auto& entry : sf.Catalogue) {
    const auto block = encodeFileEntry(entry);
    if (!sf.TapeWrite(block.data(), kFileEntrySize)) return false;
  }
  if (!sf.TapeWriteFilemarks(1)) return false;
  sf.SetOpened = true;
  sf.SetNumber = 0;
  return true;
}

bool confirmLastSet(TScsifile& sf, int32_t number, const std::string& name) {
  const auto tail = surveyTail(sf);
  return tail && tail->listedSets() == number && tail->lastName == name;
}

}  // namespace korv
