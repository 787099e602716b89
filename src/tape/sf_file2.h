#pragma once

#include <cstdint>
#include <string>

#include "sys/finddata.h"

namespace korv {

// One file of a backup set in memory, as the listing makes it and as the catalogue on
// tape holds it.
struct sf_file2 {
  std::string name;          // full path, CP932 bytes exactly as on tape
  double time = 0;           // packed local DOS date-time held as a double
  int32_t size = 0;          // low 32 bits of the size
  uint32_t attributes = 0;   // attribute bits
  FindDataBytes finddata{};  // the 318-byte directory-search record and 2 spare bytes
};

}  // namespace korv
