#pragma once
// The backup run's two moments at the volume's tail: opening the new set behind whatever
// an interrupted run left (and saying in the log what was found and mended), and, once
// the set is written, finding it again before the run calls itself finished.

#include <cstdint>
#include <string>

#include "jobs/run_support.h"
#include "tape/sfile.h"

namespace korv::jobs {

// Appends the set `name` (CP932) with the component's Catalogue; `number` receives the
// number the new set has on the volume. False when it could not be opened.
bool openNewSet(TScsifile& sf, const std::string& name, RunReporter& report, int32_t& number);

// The new set can be found again: it is the volume's last set and its header names it.
// Otherwise an error box says so and false is returned.
bool confirmNewSet(TScsifile& sf, int32_t number, const std::string& name, RunReporter& report);

}  // namespace korv::jobs
