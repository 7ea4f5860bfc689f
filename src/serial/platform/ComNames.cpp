#include "serial/platform/ComNames.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tarnel::platform {
namespace {

struct TableRange {
  int first;
  const char* prefix;
};
constexpr TableRange kTable[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}, {97, "/dev/ttyAMA"}};
constexpr int kTableEnd = 129;

std::string FromComDir(int ComNumber) {
  const char* dir = std::getenv("TARNEL_COM_DIR");
  if (!dir || !*dir) return {};
  std::string path = std::string(dir) + "/COM" + std::to_string(ComNumber);
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? path : std::string();
}

bool IsMissingError(int error) { return error == ENOENT || error == ENODEV || error == ENXIO || error == EIO; }

// A ttyS node exists for every possible UART; only one with a UART behind it is a port.
bool HasNoUart(int fd, const std::string& path) {
  if (path.rfind("/dev/ttyS", 0) != 0) return false;
  struct serial_struct info {};
  return ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
}

}  // namespace

std::string ComDevicePath(int ComNumber) {
  if (ComNumber <= 0) return {};
  std::string fromDir = FromComDir(ComNumber);
  if (!fromDir.empty()) return fromDir;
  if (ComNumber >= kTableEnd) return {};
  const TableRange* range = &kTable[0];
  for (const TableRange& r : kTable)
    if (ComNumber >= r.first) range = &r;
  return range->prefix + std::to_string(ComNumber - range->first);
}

TPortProbe ProbeComPort(int ComNumber) {
  const std::string path = ComDevicePath(ComNumber);
  if (path.empty()) return TPortProbe::Missing;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return IsMissingError(errno) ? TPortProbe::Missing : TPortProbe::Busy;
  TPortProbe result = TPortProbe::Free;
  if (HasNoUart(fd, path))
    result = TPortProbe::Missing;
  else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    result = TPortProbe::Busy;
  close(fd);  // also drops our probe lock; a lock held through another descriptor stays
  return result;
}

}  // namespace tarnel::platform
