#pragma once
// The terminal's views of a volume: its sets (`sets`) and the files of one set (`files`),
// as text lines or as JSON. Names and paths are decoded from CP932 for display only.

#include <cstdint>

#include "cli/session.h"

namespace korv::cli {

int listSets(Session& session, bool json);
int listFiles(Session& session, int32_t setNumber, bool json);

}  // namespace korv::cli
