#pragma once
// A bound tape component over an emulated drive at id 4 whose image lives in a fresh
// temporary folder; every command is also recorded, so tests can count what was sent.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "scsi/blocking_pump.h"
#include "scsi/trace.h"
#include "scsi/virtual_adapter.h"
#include "support/scripted_messages.h"
#include "support/temp_dir.h"
#include "tape/sfile.h"

namespace korv::test {

class DriveFixture : public ::testing::Test {
 protected:
  static constexpr int kDriveId = 4;

  void SetUp() override {
    imagePath = (dir.path() / "tape4.tap").string();
    attachDrive();
  }

  // A fresh adapter over the image and the tape component bound to its drive; the
  // binding's commands are not counted.
  void attachDrive() {
    adapter = std::make_unique<VirtualAdapter>(std::map<int, std::string>{{kDriveId, imagePath}});
    tracer = std::make_unique<TracingTransport>(
        *adapter, [this](const TraceRecord& r) { trace.push_back(r); });
    sf = std::make_unique<TScsifile>(*tracer, pump, messages);
    ASSERT_TRUE(sf->OpenDevice(kDriveId, true, true));
    trace.clear();
  }

  EmulatedDrive& drive() { return *adapter->drive(kDriveId); }

  // Commands recorded since the last clear whose operation code is `opcode`.
  int countCommands(uint8_t opcode) const {
    int n = 0;
    for (const auto& r : trace) n += r.cdb[0] == opcode ? 1 : 0;
    return n;
  }
  int countGood(uint8_t opcode) const {
    int n = 0;
    for (const auto& r : trace) n += (r.cdb[0] == opcode && r.status == SS_COMP) ? 1 : 0;
    return n;
  }

  TempDir dir;
  std::string imagePath;
  BlockingPump pump;
  ScriptedMessages messages;
  std::unique_ptr<VirtualAdapter> adapter;
  std::unique_ptr<TracingTransport> tracer;
  std::unique_ptr<TScsifile> sf;
  std::vector<TraceRecord> trace;
};

}  // namespace korv::test
