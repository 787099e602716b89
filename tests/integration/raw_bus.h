#pragma once
// Raw 6-byte commands to one target of any bus, waited for the way the tape component
// waits, with everything a comparison needs: the status, the decoded sense and the data.

#include <cstdint>
#include <string>
#include <vector>

#include "scsi/aspi_request.h"
#include "scsi/blocking_pump.h"
#include "scsi/sense.h"
#include "scsi/transport.h"

namespace korv::test {

struct RawResult {
  uint8_t status = 0;  // SS_COMP, SS_ERR or SS_NO_DEVICE
  uint8_t haStat = 0;  // the host adapter status (timeouts, lost sessions)
  SenseInfo sense;
  std::vector<uint8_t> data;  // data in, as far as the buffer was filled

  bool good() const { return status == SS_COMP; }
  // "good", or "failed 8/00/05 EOM" (key/ASC/ASCQ and the tape bits).
  std::string summary() const;
};

class RawBus {
 public:
  RawBus(ScsiTransport& transport, uint8_t target) : transport_(transport), target_(target) {}

  RawResult send(const std::vector<uint8_t>& cdb, uint8_t direction = 0,
                 std::vector<uint8_t> data = {});

  RawResult testUnitReady() { return send({0x00, 0, 0, 0, 0, 0}); }
  RawResult inquiry() { return send({0x12, 0, 0, 0, 36, 0}, SRB_DIR_IN, std::vector<uint8_t>(36)); }
  RawResult rewind() { return send({0x01, 0, 0, 0, 0, 0}); }
  RawResult read(uint32_t length) {
    return send(withCount(0x08, 0, static_cast<int32_t>(length)), SRB_DIR_IN,
                std::vector<uint8_t>(length, 0xEE));
  }
  RawResult write(const std::vector<uint8_t>& block) {
    return send(withCount(0x0A, 0, static_cast<int32_t>(block.size())), SRB_DIR_OUT, block);
  }
  RawResult writeFilemarks(int32_t count) { return send(withCount(0x10, 0, count)); }
  RawResult spaceBlocks(int32_t count) { return send(withCount(0x11, 0, count)); }
  RawResult spaceFilemarks(int32_t count) { return send(withCount(0x11, 1, count)); }
  RawResult spaceToEnd() { return send(withCount(0x11, 3, 1)); }
  RawResult erase() { return send({0x19, 0x03, 0, 0, 0, 0}); }
  RawResult unload() { return send({0x1B, 0, 0, 0, 0, 0}); }
  RawResult load() { return send({0x1B, 0, 0, 0, 1, 0}); }

  static std::vector<uint8_t> withCount(uint8_t opcode, uint8_t byte1, int32_t count) {
    const auto value = static_cast<uint32_t>(count);
    return {opcode,
            byte1,
            static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value),
            0};
  }

 private:
  ScsiTransport& transport_;
  uint8_t target_;
  BlockingPump pump_;
};

}  // namespace korv::test
