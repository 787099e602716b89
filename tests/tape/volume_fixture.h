#pragma once
// A bound tape component over an emulated drive, with a way to insert a cartridge image
// built by hand (a fresh drive opens it, as nothing of the old one is held open).

#include "support/drive_fixture.h"
#include "tape/volume_images.h"

namespace korv::test {

class VolumeFixture : public DriveFixture {
 protected:
  void insert(const TapBuilder& tap) {
    sf.reset();
    tracer.reset();
    adapter.reset();
    tap.writeTo(imagePath);
    adapter = std::make_unique<VirtualAdapter>(std::map<int, std::string>{{kDriveId, imagePath}});
    tracer = std::make_unique<TracingTransport>(
        *adapter, [this](const TraceRecord& r) { trace.push_back(r); });
    sf = std::make_unique<TScsifile>(*tracer, pump, messages);
    ASSERT_TRUE(sf->OpenDevice(kDriveId, true, true));
    trace.clear();
  }
};

}  // namespace korv::test
