#include "scsi/pass_through.h"

#include <algorithm>
#include <cstring>

#include "scsi/tape_commands.h"

namespace korv {

int commandTimeoutSeconds(uint8_t operationCode) {
  switch (operationCode) {
    case kOpRewind:
    case 0x04:  // FORMAT MEDIUM
    case kOpSpace:
    case kOpErase:
    case kOpLoadUnload:
    case 0x2B:  // LOCATE
      return 14400;
    case kOpRead:
    case kOpWrite:
    case kOpWriteFilemarks:
      return 900;
    case kOpTestUnitReady:
    case kOpInquiry:
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
  return 8;
}

}  // namespace korv
