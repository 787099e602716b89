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
    attachDrive();
  }
};

}  // namespace korv::test
