#pragma once

#include <string>

namespace tarnel::platform {

// What sysfs and udev's links tell of the USB adapter behind a terminal device. Every field is empty for a
// device without a USB parent (a built-in UART, a pseudo-terminal).
struct TUsbAdapter {
  std::string Product;       // the adapter's own product string, e.g. "FT232R USB UART"
  std::string Manufacturer;  // e.g. "FTDI"
  std::string VidPid;        // "0403:6001"
  std::string SerialNumber;  // its serial number as the adapter reports it
  std::string ById;          // the /dev/serial/by-id link leading to the device, or empty
};

// "Product (Manufacturer)", or whichever of the two is known; empty when neither is.
std::string AdapterDescription(const TUsbAdapter& Adapter);

// Looks up the adapter behind DevicePath (a device file or a link to one) by walking up from
// <SysfsRoot>/class/tty/<name>/device to the USB device that has an idVendor, and finds the link in ByIdDir
// that resolves to the same device. Only names and small attribute files are read: the device itself is
// never opened.
TUsbAdapter DescribeUsbAdapter(const std::string& DevicePath, const std::string& SysfsRoot = "/sys",
                               const std::string& ByIdDir = "/dev/serial/by-id");

}  // namespace tarnel::platform
