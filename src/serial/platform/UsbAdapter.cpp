#include "serial/platform/UsbAdapter.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace tarnel::platform {

namespace fs = std::filesystem;

namespace {

// A USB device sits a few levels above its tty (interface, usb-serial port); well below this.
constexpr int kMaxWalkUp = 12;

// The first line of a sysfs attribute without its newline or padding; empty when it cannot be read.
std::string ReadAttribute(const fs::path& Dir, const char* Name) {
  std::ifstream in(Dir / Name);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  const auto first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = line.find_last_not_of(" \t\r");
  return line.substr(first, last - first + 1);
}

// The device with the link's target resolved, or the path as given when it does not resolve.
fs::path Resolved(const fs::path& Path) {
  std::error_code error;
  fs::path real = fs::canonical(Path, error);
  return error ? Path : real;
}

bool IsWithin(const fs::path& Path, const fs::path& Root) {
  auto mismatch = std::mismatch(Root.begin(), Root.end(), Path.begin(), Path.end());
  return mismatch.first == Root.end();
}

// The folder of the USB device above a tty's device folder, or empty when there is none.
fs::path UsbDeviceDir(const fs::path& SysfsRoot, const std::string& TtyName) {
  std::error_code error;
  const fs::path root = fs::canonical(SysfsRoot, error);
  if (error) return {};
  fs::path dir = fs::canonical(root / "class" / "tty" / TtyName / "device", error);
  if (error) return {};
  for (int level = 0; level < kMaxWalkUp && IsWithin(dir, root) && dir != root; ++level) {
    if (fs::is_regular_file(dir / "idVendor", error)) return dir;
    dir = dir.parent_path();
  }
  return {};
}

std::string FindById(const fs::path& ByIdDir, const fs::path& Device) {
  std::error_code error;
  fs::directory_iterator it(ByIdDir, error);
  if (error) return {};
  for (const auto& entry : it) {
    if (!entry.is_symlink(error)) continue;
    const fs::path target = fs::canonical(entry.path(), error);
    if (!error && target == Device) return entry.path().string();
  }
  return {};
}

}  // namespace

std::string AdapterDescription(const TUsbAdapter& Adapter) {
  if (Adapter.Product.empty()) return Adapter.Manufacturer;
  if (Adapter.Manufacturer.empty()) return Adapter.Product;
  return Adapter.Product + " (" + Adapter.Manufacturer + ")";
}

TUsbAdapter DescribeUsbAdapter(const std::string& DevicePath, const std::string& SysfsRoot,
                               const std::string& ByIdDir) {
  TUsbAdapter adapter;
  if (DevicePath.empty()) return adapter;
  const fs::path device = Resolved(DevicePath);
  const fs::path usb = UsbDeviceDir(SysfsRoot, device.filename().string());
  if (usb.empty()) return adapter;
  adapter.Product = ReadAttribute(usb, "product");
  adapter.Manufacturer = ReadAttribute(usb, "manufacturer");
  adapter.SerialNumber = ReadAttribute(usb, "serial");
  const std::string vid = ReadAttribute(usb, "idVendor");
  const std::string pid = ReadAttribute(usb, "idProduct");
  if (!vid.empty()) adapter.VidPid = vid + ":" + pid;
  adapter.ById = FindById(ByIdDir, device);
  return adapter;
}

}  // namespace tarnel::platform
