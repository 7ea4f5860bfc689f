#include "serial/platform/ComNames.h"

#include "serial/platform/win32/Ports.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace tarnel::platform {
namespace win32 {
namespace {

std::mutex heldMutex;
std::vector<int> heldPorts;

}  // namespace

void HoldPort(int ComNumber) {
  std::lock_guard lock(heldMutex);
  heldPorts.push_back(ComNumber);
}

void ReleasePort(int ComNumber) {
  std::lock_guard lock(heldMutex);
  auto it = std::find(heldPorts.begin(), heldPorts.end(), ComNumber);
  if (it != heldPorts.end()) heldPorts.erase(it);
}

bool IsHeldHere(int ComNumber) {
  std::lock_guard lock(heldMutex);
  return std::find(heldPorts.begin(), heldPorts.end(), ComNumber) != heldPorts.end();
}

bool MeansMissing(unsigned long Error) {
  return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND || Error == ERROR_BAD_UNIT ||
         Error == ERROR_DEVICE_NOT_CONNECTED || Error == ERROR_NOT_READY || Error == ERROR_DEV_NOT_EXIST;
}

// A COM port has no sharing: a second open is refused with access denied.
bool MeansInUse(unsigned long Error) {
  return Error == ERROR_ACCESS_DENIED || Error == ERROR_SHARING_VIOLATION || Error == ERROR_BUSY;
}

std::string SystemMessage(unsigned long Error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      Error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length && text ? std::string(text, length) : std::string();
  if (text) LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == '.' || message.back() == ' '))
    message.pop_back();
  if (message.empty()) message = "system error " + std::to_string(Error);
  return message + " (error " + std::to_string(Error) + ")";
}

std::string OpenErrorReason(int ComNumber, unsigned long Error) {
  const std::string name = "COM" + std::to_string(ComNumber);
  if (MeansMissing(Error))
    return name +
           " does not exist on this computer (is the adapter plugged in? Device Manager lists the COM "
           "ports under \"Ports (COM & LPT)\").";
  if (MeansInUse(Error))
    return name +
           " is in use by another program (or already open in this one): close it there, then try again.";
  return name + " could not be opened: " + SystemMessage(Error) + ".";
}

}  // namespace win32

std::string ComDevicePath(int ComNumber) {
  if (ComNumber <= 0) return {};
  // The device namespace reaches COM10 and above, which the plain name does not.
  return "\\\\.\\COM" + std::to_string(ComNumber);
}

// Windows names its ports itself; there is no folder to point elsewhere.
std::string ComDirProblem() {
  return {};
}

TPortCondition InspectComPort(int ComNumber) {
  const std::string path = ComDevicePath(ComNumber);
  if (path.empty()) return TPortCondition::Missing;
  if (win32::IsHeldHere(ComNumber)) return TPortCondition::OpenHere;
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (win32::MeansMissing(error)) return TPortCondition::Missing;
    return win32::MeansInUse(error) ? TPortCondition::InUse : TPortCondition::NoPermission;
  }
  ::DCB settings{};
  settings.DCBlength = sizeof settings;
  const bool serial = GetCommState(port, &settings) != 0;
  CloseHandle(port);
  return serial ? TPortCondition::Free : TPortCondition::NotSerial;
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

std::string OpenFailureReason(const std::string& Path, int Error) {
  const std::string prefix = "\\\\.\\COM";
  const int number = Path.rfind(prefix, 0) == 0 ? std::atoi(Path.c_str() + prefix.size()) : 0;
  if (number > 0) return win32::OpenErrorReason(number, static_cast<unsigned long>(Error));
  return Path + " could not be opened: " + win32::SystemMessage(static_cast<unsigned long>(Error)) + ".";
}

// Windows does not tell who holds a port.
std::vector<TPortHolder> PortHolders(const std::string&) {
  return {};
}

}  // namespace tarnel::platform
