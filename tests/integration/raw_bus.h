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
#include "support/tape_cdb.h"

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

  RawResult testUnitReady() { return send(cdb::testUnitReady()); }
  RawResult inquiry() { return send(cdb::inquiry(36), SRB_DIR_IN, std::vector<uint8_t>(36)); }
  RawResult rewind() { return send(cdb::rewind()); }
  RawResult read(uint32_t length) {
    return send(cdb::read(length), SRB_DIR_IN, std::vector<uint8_t>(length, 0xEE));
  }
  RawResult write(const std::vector<uint8_t>& block) {
    return send(cdb::write(static_cast<uint32_t>(block.size())), SRB_DIR_OUT, block);
  }
  RawResult writeFilemarks(int32_t count) {
    return send(cdb::writeFilemarks(static_cast<uint32_t>(count)));
  }
  RawResult spaceBlocks(int32_t count) { return send(cdb::space(0, count)); }
  RawResult spaceFilemarks(int32_t count) { return send(cdb::space(1, count)); }
  RawResult spaceToEnd() { return send(cdb::space(3, 1)); }
  RawResult erase() { return send(cdb::erase()); }
  RawResult unload() { return send(cdb::loadUnload(false)); }
  RawResult load() { return send(cdb::loadUnload(true)); }

 private:
  ScsiTransport& transport_;
  uint8_t target_;
  BlockingPump pump_;
};

}  // namespace korv::test
