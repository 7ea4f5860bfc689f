#pragma once

#include <cstdint>

namespace tarnel {

struct TProductVersion {
  uint16_t Major = 0;
  uint16_t Minor = 0;
  uint16_t Release = 0;
  uint16_t Build = 0;
};

// The program's own product version: compiled in from the project version (Linux), or read from the program
// file's version resource (Windows). False when the build or the file carries none.
bool ReadProductVersion(TProductVersion& Version);

}  // namespace tarnel
