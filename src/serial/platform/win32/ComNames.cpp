#include "serial/platform/ComNames.h"

#include "serial/platform/win32/Ports.h"

#include <windows.h>
// After windows.h, which they build on.
#include <devguid.h>
#include <setupapi.h>

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

std::string Utf8(const std::wstring& Text) {
  if (Text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string result(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), result.data(), size, nullptr,
                        nullptr);
  return result;
}

// A string property of one device of a set; empty when it has none.
std::wstring DeviceProperty(HDEVINFO Set, SP_DEVINFO_DATA& Item, DWORD Property) {
  wchar_t text[512] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(Set, &Item, Property, &type, reinterpret_cast<BYTE*>(text),
                                         sizeof text - sizeof(wchar_t), nullptr) ||
      (type != REG_SZ && type != REG_MULTI_SZ))
    return {};
  return text;  // a multi-string's first string
}

// The port name ("COM3") the device's own key gives it.
std::wstring PortName(HDEVINFO Set, SP_DEVINFO_DATA& Item) {
  HKEY key = SetupDiOpenDevRegKey(Set, &Item, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  wchar_t name[64] = {};
  DWORD size = sizeof name - sizeof(wchar_t);
  DWORD type = 0;
  const LONG result =
      RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_SZ ? std::wstring(name) : std::wstring();
}

// "USB\VID_0403&PID_6001&REV_0600" gives "0403:6001"; other buses give nothing.
std::string VidPid(const std::wstring& HardwareId) {
  const size_t vid = HardwareId.find(L"VID_");
  const size_t pid = HardwareId.find(L"PID_");
  if (vid == std::wstring::npos || pid == std::wstring::npos) return {};
  return Utf8(HardwareId.substr(vid + 4, 4) + L":" + HardwareId.substr(pid + 4, 4));
}

}  // namespace win32

std::string ComDeviceFileShown(int) {
  return {};
}

// Device Manager's own words for the port ("USB Serial Port (COM3)"), found among the present ports.
TUsbAdapter DescribeComAdapter(int ComNumber) {
  TUsbAdapter adapter;
  if (ComNumber <= 0) return adapter;
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return adapter;
  const std::wstring wanted = L"COM" + std::to_wstring(ComNumber);
  SP_DEVINFO_DATA item{};
  item.cbSize = sizeof item;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &item); ++i) {
    if (win32::PortName(set, item) != wanted) continue;
    std::wstring name = win32::DeviceProperty(set, item, SPDRP_FRIENDLYNAME);
    if (name.empty()) name = win32::DeviceProperty(set, item, SPDRP_DEVICEDESC);
    adapter.Product = win32::Utf8(name);
    adapter.VidPid = win32::VidPid(win32::DeviceProperty(set, item, SPDRP_HARDWAREID));
    break;
  }
  SetupDiDestroyDeviceInfoList(set);
  return adapter;
}

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
