#include "serial/platform/ComNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace tarnel::platform {
namespace {

struct TableRange {
  int first;
  const char* prefix;
};
constexpr TableRange kTable[] = {
    {1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}, {97, "/dev/ttyAMA"}};
constexpr int kTableEnd = 129;

const char* ComDir() {
  const char* dir = std::getenv("TARNEL_COM_DIR");
  return dir && *dir ? dir : nullptr;
}

std::string EntryPath(const char* Dir, int ComNumber) {
  return std::string(Dir) + "/COM" + std::to_string(ComNumber);
}

std::string TablePath(int ComNumber) {
  if (ComNumber <= 0 || ComNumber >= kTableEnd) return {};
  const TableRange* range = &kTable[0];
  for (const TableRange& r : kTable)
    if (ComNumber >= r.first) range = &r;
  return range->prefix + std::to_string(ComNumber - range->first);
}

bool IsMissingError(int Error) {
  return Error == ENOENT || Error == ENODEV || Error == ENXIO || Error == EIO;
}

bool IsPermissionError(int Error) {
  return Error == EACCES || Error == EPERM;
}

// The device a path stands for, as the user knows it: where a link in the COM folder leads.
std::string Shown(const std::string& Path) {
  char real[PATH_MAX];
  return realpath(Path.c_str(), real) ? std::string(real) : Path;
}

std::string Quoted(const std::string& Text) {
  return "\"" + Text + "\"";
}

// A ttyS node exists for every possible UART; only one with a UART behind it is a port. The path may be
// a link in the COM directory, so the check looks at where it leads.
bool HasNoUart(int Fd, const std::string& Path) {
  if (Shown(Path).rfind("/dev/ttyS", 0) != 0) return false;
  struct serial_struct info {};
  return ioctl(Fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
}

const char* KindOf(mode_t Mode) {
  if (S_ISREG(Mode)) return "a regular file";
  if (S_ISDIR(Mode)) return "a folder";
  if (S_ISFIFO(Mode)) return "a named pipe";
  if (S_ISSOCK(Mode)) return "a socket";
  if (S_ISBLK(Mode)) return "a block device";
  return "a device that is not a terminal";
}

std::string NotSerialReason(const std::string& Path, const char* Kind) {
  return Path + " is not a serial device: it is " + Kind + ".";
}

std::string DanglingReason(const std::string& Entry) {
  char target[PATH_MAX];
  const ssize_t n = readlink(Entry.c_str(), target, sizeof target - 1);
  if (n <= 0) return Entry + " does not exist.";
  return Entry + " leads to " + std::string(target, static_cast<size_t>(n)) +
         ", which does not exist (is the adapter plugged in?).";
}

// Why COM<n> has no device at all.
std::string MissingReason(int ComNumber) {
  if (const char* dir = ComDir()) {
    const std::string problem = ComDirProblem();
    if (!problem.empty()) return problem;
    const std::string entry = EntryPath(dir, ComNumber);
    struct stat st {};
    if (lstat(entry.c_str(), &st) != 0)
      return "The folder " + Quoted(dir) + " named by TARNEL_COM_DIR has no entry COM" +
             std::to_string(ComNumber) + ".";
    return DanglingReason(entry);
  }
  if (ComNumber >= kTableEnd)
    return "COM" + std::to_string(ComNumber) +
           " has no device file on this machine: only COM1 to COM128 have one, unless TARNEL_COM_DIR "
           "names more.";
  return TablePath(ComNumber) + " does not exist (is the adapter plugged in?).";
}

std::string GroupName(gid_t Gid) {
  char buffer[4096];
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(Gid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->gr_name;
  return std::to_string(Gid);
}

std::string UserName(uid_t Uid) {
  char buffer[4096];
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(Uid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name;
  return std::to_string(Uid);
}

// Who may use the device decides the advice: the group that owns it when that group may read and write.
std::string PermissionReason(const std::string& Path) {
  const std::string shown = Shown(Path);
  struct stat st {};
  if (stat(Path.c_str(), &st) != 0) return "You have no permission to use " + shown + ".";
  const std::string group = GroupName(st.st_gid);
  const bool groupMayUse = st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (groupMayUse)
    return "You have no permission to use " + shown + ". It belongs to the group " + Quoted(group) +
           ": join it with " + Quoted("sudo usermod -aG " + group + " $USER") +
           ", then log out and in again.";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  return "You have no permission to use " + shown + " (owner " + UserName(st.st_uid) + ", group " + group +
         ", mode " + mode + "): ask the administrator for read and write access.";
}

std::string CommandName(int Pid) {
  std::ifstream comm("/proc/" + std::to_string(Pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

std::string InUseReason(const std::string& Path) {
  const std::string shown = Shown(Path);
  const int self = getpid();
  const std::string ownName = CommandName(self);
  bool heldHere = false;
  std::vector<std::string> others;
  for (const TPortHolder& holder : PortHolders(Path)) {
    const std::string process = "process " + std::to_string(holder.Pid);
    if (holder.Pid == self)
      heldHere = true;
    else if (!ownName.empty() && holder.Name == ownName)
      others.push_back("another instance of this program (" + process + ")");
    else if (!holder.Name.empty())
      others.push_back(holder.Name + " (" + process + ")");
    else
      others.push_back(process);
  }
  if (others.empty() && heldHere)
    return shown + " is already open in this program (process " + std::to_string(self) + ").";
  if (others.empty()) return shown + " is in use by another program.";
  if (others.size() == 1 && others[0].rfind("another instance", 0) == 0)
    return shown + " is in use by " + others[0] + ".";
  std::string list;
  for (const std::string& other : others)
    list += (list.empty() ? "" : ", ") + other;
  return shown + " is in use by another program: " + list + ".";
}

TComOpen Refused(int ComNumber, const std::string& Path, int Error) {
  TComOpen result;
  result.Result = IsMissingError(Error) ? TOpenResult::Missing : TOpenResult::Failed;
  result.Reason = Error == ENOENT ? MissingReason(ComNumber) : OpenFailureReason(Path, Error);
  return result;
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

bool IsNumber(const char* Text) {
  if (!*Text) return false;
  for (; *Text; ++Text)
    if (*Text < '0' || *Text > '9') return false;
  return true;
}

void AddHolder(std::vector<TPortHolder>& Holders, int Pid) {
  for (const TPortHolder& holder : Holders)
    if (holder.Pid == Pid) return;
  Holders.push_back({Pid, CommandName(Pid)});
}

// Lock lines read "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF"; a waiter's line has "->" after the number.
void LockHolders(const struct stat& Device, std::vector<TPortHolder>& Holders) {
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    if (line.find("->") != std::string::npos) continue;
    std::istringstream fields(line);
    std::string number, type, advisory, access, where;
    int pid = 0;
    if (!(fields >> number >> type >> advisory >> access >> pid >> where) || pid <= 0) continue;
    unsigned high = 0, low = 0;
    unsigned long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%lu", &high, &low, &inode) != 3) continue;
    if (high == major(Device.st_dev) && low == minor(Device.st_dev) && inode == Device.st_ino)
      AddHolder(Holders, pid);
  }
}

void DescriptorHolders(const struct stat& Device, std::vector<TPortHolder>& Holders) {
  DIR* processes = opendir("/proc");
  if (!processes) return;
  while (dirent* process = readdir(processes)) {
    if (!IsNumber(process->d_name)) continue;
    const std::string fdDir = std::string("/proc/") + process->d_name + "/fd";
    DIR* fds = opendir(fdDir.c_str());
    if (!fds) continue;  // another user's process: only /proc/locks tells about it
    while (dirent* fd = readdir(fds)) {
      if (!IsNumber(fd->d_name)) continue;
      struct stat st {};
      if (stat((fdDir + "/" + fd->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
          st.st_rdev == Device.st_rdev) {
        AddHolder(Holders, std::atoi(process->d_name));
        break;
      }
    }
    closedir(fds);
  }
  closedir(processes);
}

}  // namespace

std::string ComDevicePath(int ComNumber) {
  if (ComNumber <= 0) return {};
  if (const char* dir = ComDir()) {
    const std::string entry = EntryPath(dir, ComNumber);
    struct stat st {};
    return lstat(entry.c_str(), &st) == 0 ? entry : std::string();
  }
  return TablePath(ComNumber);
}

std::string ComDeviceFileShown(int ComNumber) {
  return ComDevicePath(ComNumber);
}

TUsbAdapter DescribeComAdapter(int ComNumber) {
  return DescribeUsbAdapter(ComDevicePath(ComNumber));
}

std::string ComDirProblem() {
  const char* dir = ComDir();
  if (!dir) return {};
  struct stat st {};
  if (stat(dir, &st) != 0) return "The folder " + Quoted(dir) + " named by TARNEL_COM_DIR does not exist.";
  if (!S_ISDIR(st.st_mode)) return Quoted(dir) + " named by TARNEL_COM_DIR is not a folder.";
  return {};
}

TPortCondition InspectComPort(int ComNumber) {
  const std::string path = ComDevicePath(ComNumber);
  if (path.empty()) return TPortCondition::Missing;
  if (IsHeldHere(path)) return TPortCondition::OpenHere;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ELOOP) return TPortCondition::NotSerial;
    return IsPermissionError(errno) ? TPortCondition::NoPermission : TPortCondition::Missing;
  }
  if (!S_ISCHR(st.st_mode)) return TPortCondition::NotSerial;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (IsPermissionError(errno)) return TPortCondition::NoPermission;
    return IsMissingError(errno) ? TPortCondition::Missing : TPortCondition::InUse;
  }
  TPortCondition result = TPortCondition::Free;
  if (!isatty(fd))
    result = TPortCondition::NotSerial;
  else if (HasNoUart(fd, path))
    result = TPortCondition::Missing;
  else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    result = TPortCondition::InUse;
  close(fd);  // also drops our probe lock; a lock held through another descriptor stays
  return result;
}

TPortProbe ProbeComPort(int ComNumber) {
  switch (InspectComPort(ComNumber)) {
    case TPortCondition::Free:
      return TPortProbe::Free;
    case TPortCondition::NotSerial:
    case TPortCondition::Missing:
      return TPortProbe::Missing;
    default:
      return TPortProbe::Busy;
  }
}

TComOpen OpenComDevice(int ComNumber) {
  TComOpen result;
  const std::string path = ComDevicePath(ComNumber);
  if (path.empty()) {
    result.Result = TOpenResult::Missing;
    result.Reason = MissingReason(ComNumber);
    return result;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return Refused(ComNumber, path, errno);
  if (!S_ISCHR(st.st_mode)) {
    result.Reason = NotSerialReason(path, KindOf(st.st_mode));
    return result;
  }
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Refused(ComNumber, path, errno);
  if (!isatty(fd)) {
    close(fd);
    result.Reason = NotSerialReason(path, KindOf(st.st_mode));
    return result;
  }
  // The lock comes before anything else touches the device, so a port in use is never disturbed.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    close(fd);  // first, so our own descriptor is not taken for a holder
    return Refused(ComNumber, path, error);
  }
  if (HasNoUart(fd, path)) {
    close(fd);
    result.Result = TOpenResult::Missing;
    result.Reason = Shown(path) + " has no serial port (UART) behind it.";
    return result;
  }
  Hold(DeviceOf(fd));
  result.Fd = fd;
  result.Result = TOpenResult::Opened;
  return result;
}

bool CloseComDevice(int Fd) {
  if (Fd < 0) return false;
  Release(DeviceOf(Fd));
  flock(Fd, LOCK_UN);
  return close(Fd) == 0;
}

std::string OpenFailureReason(const std::string& Path, int Error) {
  if (IsPermissionError(Error)) return PermissionReason(Path);
  if (Error == EBUSY || Error == EWOULDBLOCK) return InUseReason(Path);
  if (Error == ENXIO || Error == ENODEV || Error == EIO)
    return Shown(Path) + " has no device behind it any more: it has gone away (unplugged?).";
  if (Error == ELOOP) return NotSerialReason(Path, "a loop of links");
  if (Error == EISDIR) return NotSerialReason(Path, "a folder");
  if (Error == ENOTTY) return NotSerialReason(Path, "a device that is not a terminal");
  if (Error == ENOENT) return Path + " does not exist.";
  return Shown(Path) + ": " + std::strerror(Error) + ".";
}

std::vector<TPortHolder> PortHolders(const std::string& Path) {
  std::vector<TPortHolder> holders;
  struct stat device {};
  if (stat(Path.c_str(), &device) != 0) return holders;
  LockHolders(device, holders);
  if (S_ISCHR(device.st_mode)) DescriptorHolders(device, holders);
  return holders;
}

}  // namespace tarnel::platform
