#include "scsi/pass_through.h"

#include <algorithm>
#include <cstring>

namespace korv {

int commandTimeoutSeconds(uint8_t operationCode) {
  switch (operationCode) {
    case 0x01:  // REWIND
    case 0x04:  // FORMAT MEDIUM
    case 0x11:  // SPACE
    case 0x19:  // ERASE
    case 0x1B:  // LOAD/UNLOAD
    case 0x2B:  // LOCATE
      return 14400;
    case 0x08:  // READ
    case 0x0A:  // WRITE
    case 0x10:  // WRITE FILEMARKS
      return 900;
    case 0x00:  // TEST UNIT READY
    case 0x12:  // INQUIRY
    case 0x03:  // REQUEST SENSE
      return 10;
    default:
      return 60;
  }
}

void writeBack(AspiRequest& request, const CommandOutcome& outcome, const uint8_t* sense,
               size_t senseLength) {
  std::memset(request.SenseArea, 0, sizeof request.SenseArea);
  const size_t allocation = std::min<size_t>(request.SRB_SenseLen, kSenseAllocation);
  if (sense != nullptr) std::memcpy(request.SenseArea, sense, std::min(senseLength, allocation));
  request.SRB_HaStat = outcome.haStat;
  request.SRB_TargStat = outcome.targStat;
}

uint8_t chooseOwnId(const std::set<int>& occupiedIds) {
  for (int id = 7; id >= 0; --id) {
    if (!occupiedIds.count(id)) return static_cast<uint8_t>(id);
  }
  return 7;
}

}  // namespace korv
