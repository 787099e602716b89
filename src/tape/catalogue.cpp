// Backup sets on the volume: counting them, appending a new set's catalogue, opening a
// set's catalogue, and listing the set names. Sets are found by counting filemarks from
// the beginning of the tape: the label's filemark, then two per set (catalogue file and
// data file), so set n's catalogue starts after filemark 2n - 1.

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "scsi/tape_commands.h"
#include "sys/datetime.h"
#include "tape/records.h"
#include "tape/sfile.h"
#include "tape/volume.h"
#include "tape/volume_tail.h"

namespace korv {

namespace {
// Entries reserved before a catalogue is read: a set of this many files (about 100 MB of
// entries) is read without regrowing.
constexpr size_t kCatalogueReserve = size_t{1} << 18;

// Asks for large pages on the whole 2 MiB pages inside a fresh allocation: one fault per
// 2 MiB instead of one per 4 KiB while a large catalogue is filled.
void adviseLargePages(const void* data, size_t bytes) {
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  const auto begin = (reinterpret_cast<uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
  const auto end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLargePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}
}  // namespace

int32_t filemarksBeforeSet(int32_t number) {
  const int64_t filemarks = 2 * int64_t{number} - 1;
  if (filemarks < 1 || filemarks > kMaxCount24) return -1;
  return static_cast<int32_t>(filemarks);
}

int32_t TScsifile::CountSets() {
  if (!Opened) return -1;
  if (!TapeRewind()) return -1;

  if (UseEod) {
    // Every filemark up to the end of the recorded data; a set whose data file lacks its
    // closing filemark still counts.
    int64_t spaced = 0;
    while (TapeSpace(1, SpaceFilemarks)) ++spaced;
    int64_t n = spaced - 1;
    if (n % 2 != 0) ++n;  // -1 counts as odd
    return static_cast<int32_t>(std::min<int64_t>(n / 2, std::numeric_limits<int32_t>::max()));
  }

  if (!TapeSpace(1, SpaceFilemarks)) return -1;
  int32_t count = 0;
  SetHeaderBlock header;
  while (TapeRead(header.data(), kSetHeaderSize)) {
    if (!TapeSpace(1, SpaceFilemarks)) return -1;
    TapeSpace(1, SpaceFilemarks);  // past the data file; a missing filemark shows next read
    if (count == std::numeric_limits<int32_t>::max()) return -1;
    ++count;
  }
  return count;
}

bool TScsifile::OpenSet(int32_t number, std::string& name) {
  if (number < 0) return false;
  if (!Opened) return false;

  if (number == 0) {
    // A name that does not fit its field with the zero byte is refused before the tape
    // moves, rather than cut or run into the time field.
    if (!fitsTextField(name)) return false;
    if (Catalogue.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
    // The tail is checked and mended first: a new set behind an interrupted one would
    // otherwise sit where no filemark count finds it.
    VolumeTail found;
    return appendSet(*this, name, found);
  }

  const int32_t filemarks = filemarksBeforeSet(number);
  if (filemarks < 0) return false;
  if (!TapeRewind()) return false;
  if (!TapeSpace(filemarks, SpaceFilemarks)) return false;

  SetHeaderBlock headerBlock;
  if (!TapeRead(headerBlock.data(), kSetHeaderSize)) return false;
  const auto header = decodeSetHeader(headerBlock);
  if (!header) return false;
  name = header->name;

  // The count comes from the tape: entries are read one by one and the first missing one
  // fails the read, so a count larger than the catalogue never grows memory beyond it.
  // No writer makes a negative count: such a header is damaged, not an empty set.
  Catalogue.clear();
  if (header->count < 0) return false;
  // Room for the announced entries at once, up to a bound, so a large catalogue is not
  // copied at every growth; a count no catalogue backs only reserves untouched pages.
  Catalogue.reserve(std::min<size_t>(static_cast<size_t>(header->count), kCatalogueReserve));
  adviseLargePages(Catalogue.data(), Catalogue.capacity() * sizeof(sf_file2));
  FileEntryBlock entryBlock;
  for (int32_t i = 0; i < header->count; ++i) {
    if (!TapeRead(entryBlock.data(), kFileEntrySize)) return false;
    if (!decodeFileEntry(entryBlock, Catalogue.emplace_back())) {
      Catalogue.pop_back();
      return false;
    }
  }

  if (!TapeSpace(1, SpaceFilemarks)) return false;
  SetOpened = true;
  SetNumber = number;
  return true;
}

bool TScsifile::CloseSet() {
  if (!Opened) return false;
  Catalogue.clear();
  SetOpened = false;
  SetNumber = -1;
  return true;
}

namespace {

bool readSetName(TScsifile& sf, std::string& name) {
  SetHeaderBlock block;
  if (!sf.TapeRead(block.data(), kSetHeaderSize)) return false;
  const auto header = decodeSetHeader(block);
  if (!header) return false;
  name = header->name;
  return true;
}

}  // namespace

bool TScsifile::ReadFirstSetName(std::string& name) {
  if (!Opened) return false;
  if (!TapeRewind()) return false;
  if (!TapeSpace(1, SpaceFilemarks)) return false;
  return readSetName(*this, name);
}

bool TScsifile::ReadNextSetName(std::string& name) {
  if (!Opened) return false;
  if (!TapeSpace(2, SpaceFilemarks)) return false;
  return readSetName(*this, name);
}

}  // namespace korv
