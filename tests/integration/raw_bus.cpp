#include "raw_bus.h"

#include <cstring>

namespace korv::test {

std::string RawResult::summary() const {
  if (status == SS_COMP) return "good";
  if (status == SS_NO_DEVICE) return "no device";
  return "failed " + (sense.valid ? describeSense(sense) : std::string("(no sense)"));
}

RawResult RawBus::send(const std::vector<uint8_t>& cdb, uint8_t direction,
                       std::vector<uint8_t> data) {
  AspiRequest request{};
  request.SRB_Cmd = SC_EXEC_SCSI_CMD;
  request.SRB_Flags = direction;
  request.SRB_Target = target_;
  request.SRB_BufLen = static_cast<uint32_t>(data.size());
  request.SRB_SenseLen = kSenseAllocation;
  request.SRB_CDBLen = 6;
  std::memcpy(request.CDBByte, cdb.data(), 6);

  RawResult result;
  result.status = transport_.submit(request, data.empty() ? nullptr : data.data(), pump_);
  while (requestStatus(request) == SS_PENDING) pump_.pumpUntilWoken();
  result.status = requestStatus(request);
  result.haStat = request.SRB_HaStat;
  if (result.status != SS_COMP) result.sense = decodeSense(request.SenseArea, kSenseAllocation);
  if (direction == SRB_DIR_IN) result.data = std::move(data);
  return result;
}

}  // namespace korv::test
