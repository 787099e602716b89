#pragma once
// The tape commands as a test sends them to an EmulatedDrive, and image files built byte
// by byte.

#include <cstdint>
#include <string>
#include <vector>

#include "scsi/emulated_drive.h"
#include "support/tap_image_builder.h"
#include "support/tape_cdb.h"

namespace korv::test {

class DriveCommands {
 public:
  explicit DriveCommands(EmulatedDrive& drive) : drive_(drive) {}

  DriveOutcome testUnitReady() { return send(cdb::testUnitReady()); }
  DriveOutcome rewind() { return send(cdb::rewind()); }
  DriveOutcome write(const std::string& data) {
    auto n = static_cast<uint32_t>(data.size());
    std::vector<uint8_t> bytes(data.begin(), data.end());
    return send(cdb::write(n), DataDirection::Out, bytes.data(), n);
  }
  // Reads into `out`, sized to the request; shrinks it to what a good read delivered.
  DriveOutcome read(uint32_t length, std::vector<uint8_t>& out, bool sili = false) {
    out.assign(length, 0xEE);
    return send(cdb::read(length, sili), DataDirection::In, out.data(), length);
  }
  std::string readText(uint32_t length, DriveOutcome* outcome = nullptr) {
    std::vector<uint8_t> out;
    DriveOutcome o = read(length, out);
    if (outcome != nullptr) *outcome = o;
    return o.good ? std::string(out.begin(), out.end()) : std::string();
  }
  DriveOutcome writeFilemarks(uint32_t count, bool immediate = false) {
    return send(cdb::writeFilemarks(count, immediate));
  }
  DriveOutcome space(uint8_t code, int32_t count) { return send(cdb::space(code, count)); }
  DriveOutcome spaceBlocks(int32_t count) { return space(0, count); }
  DriveOutcome spaceFilemarks(int32_t count) { return space(1, count); }
  DriveOutcome spaceToEnd() { return space(3, 1); }
  DriveOutcome erase() { return send(cdb::erase()); }
  DriveOutcome unload() { return send(cdb::loadUnload(false)); }
  DriveOutcome load() { return send(cdb::loadUnload(true)); }

  DriveOutcome send(std::vector<uint8_t> cdb, DataDirection direction = DataDirection::None,
                    uint8_t* data = nullptr, uint32_t length = 0) {
    cdb.resize(6);
    return drive_.execute(cdb.data(), direction, data, length);
  }

 private:
  EmulatedDrive& drive_;
};

}  // namespace korv::test
