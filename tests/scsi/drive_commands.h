#pragma once
// The tape commands as a test sends them to an EmulatedDrive, and helpers to build and
// inspect image files byte by byte.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "scsi/emulated_drive.h"

namespace korv::test {

class DriveCommands {
 public:
  explicit DriveCommands(EmulatedDrive& drive) : drive_(drive) {}

  DriveOutcome testUnitReady() { return send({0x00, 0, 0, 0, 0, 0}); }
  DriveOutcome rewind() { return send({0x01, 0, 0, 0, 0, 0}); }
  DriveOutcome write(const std::string& data) {
    auto n = static_cast<uint32_t>(data.size());
    std::vector<uint8_t> bytes(data.begin(), data.end());
    return send(withLength(0x0A, 0, n), DataDirection::Out, bytes.data(), n);
  }
  // Reads into `out`, sized to the request; shrinks it to what a good read delivered.
  DriveOutcome read(uint32_t length, std::vector<uint8_t>& out, bool sili = false) {
    out.assign(length, 0xEE);
    return send(withLength(0x08, sili ? 0x02 : 0x00, length), DataDirection::In, out.data(),
                length);
  }
  std::string readText(uint32_t length, DriveOutcome* outcome = nullptr) {
    std::vector<uint8_t> out;
    DriveOutcome o = read(length, out);
    if (outcome != nullptr) *outcome = o;
    return o.good ? std::string(out.begin(), out.end()) : std::string();
  }
  DriveOutcome writeFilemarks(uint32_t count, bool immediate = false) {
    return send(withLength(0x10, immediate ? 1 : 0, count));
  }
  DriveOutcome space(uint8_t code, int32_t count) {
    return send(withLength(0x11, code, static_cast<uint32_t>(count)));
  }
  DriveOutcome spaceBlocks(int32_t count) { return space(0, count); }
  DriveOutcome spaceFilemarks(int32_t count) { return space(1, count); }
  DriveOutcome spaceToEnd() { return space(3, 1); }
  DriveOutcome erase() { return send({0x19, 0x03, 0, 0, 0, 0}); }
  DriveOutcome unload() { return send({0x1B, 0, 0, 0, 0x00, 0}); }
  DriveOutcome load() { return send({0x1B, 0, 0, 0, 0x01, 0}); }

  DriveOutcome send(std::vector<uint8_t> cdb, DataDirection direction = DataDirection::None,
                    uint8_t* data = nullptr, uint32_t length = 0) {
    cdb.resize(6);
    return drive_.execute(cdb.data(), direction, data, length);
  }

  static std::vector<uint8_t> withLength(uint8_t opcode, uint8_t byte1, uint32_t value) {
    return {opcode,
            byte1,
            static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value),
            0};
  }

 private:
  EmulatedDrive& drive_;
};

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Builds image bytes by hand, the way other tools write them.
class ImageBuilder {
 public:
  ImageBuilder& word(uint32_t w) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return *this;
  }
  ImageBuilder& record(const std::string& data, uint32_t flags = 0) {
    auto w = static_cast<uint32_t>(data.size()) | flags;
    word(w);
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) bytes.push_back(0);
    return word(w);
  }
  ImageBuilder& filemark() { return word(0); }
  ImageBuilder& gap() { return word(0xFFFFFFFE); }
  ImageBuilder& endOfMedium() { return word(0xFFFFFFFF); }
  std::vector<uint8_t> bytes;
};

}  // namespace korv::test
