// Kept apart from every other file: the kernel's termios2 declarations clash with <termios.h>.
#include <sys/ioctl.h>

#include <cstdint>

#include "serial/platform/LineSettings.h"

namespace tarnel::sim {

int32_t TerminalSpeed(int Fd) {
  struct termios2 settings {};
  if (ioctl(Fd, TCGETS2, &settings) != 0) return 0;
  return static_cast<int32_t>(platform::TermiosSpeed(settings));
}

}  // namespace tarnel::sim
