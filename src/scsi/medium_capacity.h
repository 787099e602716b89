#pragma once
// How much a cartridge holds. Past its early-warning point a drive still records what it
// is sent but reports each write with NO SENSE and EOM, so that a writer can close what
// it is writing; at the end of the medium it refuses with VOLUME OVERFLOW and records
// nothing.

#include <cstdint>

namespace korv {

struct MediumCapacity {
  uint64_t endOfMedium = 0;   // bytes the medium holds; 0 = no limit
  uint64_t earlyWarning = 0;  // writes ending past this point warn; 0 = no warning

  // A cartridge of `bytes` with the early-warning zone a drive keeps before its end: a
  // sixteenth of the medium, at least 256 KiB (a 64 KiB block and the filemarks that
  // close a set still fit behind the warning) and at most 64 MiB, never more than half.
  static MediumCapacity ofSize(uint64_t bytes);

  enum class Zone { Room, EarlyWarning, Beyond };
  // Where a write that would end at byte `end` of the medium lands.
  Zone zoneOf(uint64_t end) const;
};

}  // namespace korv
