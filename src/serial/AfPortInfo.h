#pragma once

#include <cstdint>
#include <string>

#include "serial/AfComPortTypes.h"

namespace tarnel {

// What the system tells of the adapter behind a port; every field empty when it tells nothing (a
// built-in UART, a pseudo-terminal). Nothing is opened.
struct TAfPortDescription {
  std::string Description;   // e.g. "FT232R USB UART (FTDI)"
  std::string VidPid;        // "0403:6001"
  std::string SerialNumber;  // the adapter's own serial number
  std::string ById;          // "/dev/serial/by-id/usb-..." or empty
};

// What the machine offers as COM<n>: where the device lives and whether it could be opened. The serial
// layer's public face over its operating-system calls, for port lists and other callers above it.
class TAfPortInfo {
 public:
  // The device behind COM<n>: the COM folder's entry when TARNEL_COM_DIR is set, else the built-in table.
  // Empty when the number has no device.
  static std::string DevicePath(int ComNumber);

  // The device file shown beside the COM name in a port list; empty where the COM name is the device's own
  // name (Windows).
  static std::string ShownDeviceFile(int ComNumber);

  // A sentence saying the folder TARNEL_COM_DIR names is missing or no folder; empty when it is fine or
  // the variable is not set.
  static std::string ComDirProblem();

  // Opens and closes the port only; a port this process holds open is not touched.
  static TAfPortCondition Inspect(int ComNumber);

  // Inspect in three states: Busy for a port open here, in use or refused; Missing for no serial device.
  static TAfPortProbe Probe(int ComNumber);

  static TAfPortDescription Describe(int ComNumber);
};

}  // namespace tarnel
