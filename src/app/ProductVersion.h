#pragma once

#include <cstdint>

namespace tarnel {

struct TProductVersion {
  uint16_t Major = 0;
  uint16_t Minor = 0;
  uint16_t Release = 0;
  uint16_t Build = 0;
};

// The program's own product version, compiled in from the build's project version. False when the build
// carries none.
bool ReadProductVersion(TProductVersion& Version);

}  // namespace tarnel
