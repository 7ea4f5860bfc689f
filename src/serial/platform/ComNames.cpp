#include "serial/platform/ComNames.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace tarnel::platform {
namespace {

struct TableRange {
  int first;
  const char* prefix;
};
constexpr TableRange kTable[] = {
    {1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}, {97, "/dev/ttyAMA"}};
constexpr int kTableEnd = 129;

std::string FromComDir(int ComNumber) {
  const char* dir = std::getenv("TARNEL_COM_DIR");
  if (!dir || !*dir) return {};
  std::string path = std::string(dir) + "/COM" + std::to_string(ComNumber);
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? path : std::string();
}

bool IsMissingError(int error) {
  return error == ENOENT || error == ENODEV || error == ENXIO || error == EIO;
}

// A ttyS node exists for every possible UART; only one with a UART behind it is a port. The path may be
// a link in the COM directory, so the check looks at where it leads.
bool HasNoUart(int fd, const std::string& path) {
  char real[PATH_MAX];
  const std::string target = realpath(path.c_str(), real) ? std::string(real) : path;
  if (target.rfind("/dev/ttyS", 0) != 0) return false;
  struct serial_struct info {};
  return ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
}

// The devices this process holds open, by device number, so probing leaves them alone.
std::mutex heldMutex;
std::vector<dev_t> heldDevices;

dev_t DeviceOf(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 ? st.st_rdev : 0;
}

bool IsHeldHere(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || st.st_rdev == 0) return false;
  std::lock_guard lock(heldMutex);
  return std::find(heldDevices.begin(), heldDevices.end(), st.st_rdev) != heldDevices.end();
}

void Hold(dev_t device) {
  std::lock_guard lock(heldMutex);
  heldDevices.push_back(device);
}

void Release(dev_t device) {
  std::lock_guard lock(heldMutex);
  auto it = std::find(heldDevices.begin(), heldDevices.end(), device);
  if (it != heldDevices.end()) heldDevices.erase(it);
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
  if (IsHeldHere(path)) return TPortProbe::Busy;
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

int OpenComDevice(int ComNumber, bool& Missing) {
  Missing = false;
  const std::string path = ComDevicePath(ComNumber);
  if (path.empty()) {
    Missing = true;
    return -1;
  }
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Missing = IsMissingError(errno);
    return -1;
  }
  // The lock comes before anything else touches the device, so a port in use is never disturbed.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  if (HasNoUart(fd, path)) {
    close(fd);
    Missing = true;
    return -1;
  }
  Hold(DeviceOf(fd));
  return fd;
}

bool CloseComDevice(int Fd) {
  if (Fd < 0) return false;
  Release(DeviceOf(Fd));
  flock(Fd, LOCK_UN);
  return close(Fd) == 0;
}

}  // namespace tarnel::platform
