#include "scsi/medium_capacity.h"

#include <algorithm>

namespace korv {

MediumCapacity MediumCapacity::ofSize(uint64_t bytes) {
  if (bytes == 0) return {};
  constexpr uint64_t kLeastZone = uint64_t{256} << 10;
  constexpr uint64_t kLargestZone = uint64_t{64} << 20;
  const uint64_t zone = std::min(std::clamp(bytes / 16, kLeastZone, kLargestZone), bytes / 2);
  return {bytes, bytes - zone};
}

MediumCapacity::Zone MediumCapacity::zoneOf(uint64_t end) const {
  if (endOfMedium != 0 && end > endOfMedium) return Zone::Beyond;
  if (earlyWarning != 0 && end > earlyWarning) return Zone::EarlyWarning;
  return Zone::Room;
}

}  // namespace korv
