#include "app/ProductVersion.h"

namespace tarnel {

bool ReadProductVersion(TProductVersion& Version) {
#if defined(TARNEL_VERSION_MAJOR) && defined(TARNEL_VERSION_MINOR) && defined(TARNEL_VERSION_PATCH) && \
    defined(TARNEL_VERSION_TWEAK)
  Version = {TARNEL_VERSION_MAJOR, TARNEL_VERSION_MINOR, TARNEL_VERSION_PATCH, TARNEL_VERSION_TWEAK};
  return true;
#else
  (void)Version;
  return false;
#endif
}

}  // namespace tarnel
