// Kept apart from every other file: the kernel's termios2 declarations clash with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace tarnel::sim {

namespace {

// The classic speed codes, for a driver that leaves c_ospeed empty.
int32_t SpeedOfCode(unsigned Code) {
  switch (Code) {
    case B1200:
      return 1200;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    case B230400:
      return 230400;
    default:
      return 0;
  }
}

}  // namespace

int32_t TerminalSpeed(int Fd) {
  struct termios2 settings {};
  if (ioctl(Fd, TCGETS2, &settings) != 0) return 0;
  if (settings.c_ospeed != 0) return static_cast<int32_t>(settings.c_ospeed);
  return SpeedOfCode(settings.c_cflag & CBAUD);
}

}  // namespace tarnel::sim
