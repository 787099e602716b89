#pragma once
// The built-in adapter of emulated drives: one EmulatedDrive per configured image at its
// target id. A drive with a delay runs its commands on a worker thread, so submit()
// returns at once and the caller really waits; without a delay a command runs inside
// submit() and completes through the pump all the same.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "scsi/emulated_drive.h"
#include "scsi/transport.h"

namespace korv {

class VirtualAdapter : public ScsiTransport {
 public:
  static constexpr uint8_t kOwnId = 7;
  // `capacitiesById`: the bytes a drive's cartridge holds (with its early warning);
  // drives not named there have no limit.
  explicit VirtualAdapter(const std::map<int, std::string>& imagesById,
                          const std::map<int, uint64_t>& capacitiesById = {});
  ~VirtualAdapter() override;

  uint8_t submit(AspiRequest& request, uint8_t* data, EventPump& pump) override;
  HostAdapterInfo hostAdapter() override;
  void bind(uint8_t target) override;

  EmulatedDrive* drive(int id);  // null when no drive at that id

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace korv
