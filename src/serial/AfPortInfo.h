#pragma once

#include <cstdint>
#include <string>

namespace tarnel {

// What a look at a port found, without touching its settings.
enum class TAfPortCondition : uint8_t {
  Free,          // could be had (and was let go at once)
  OpenHere,      // this program has it open; it was not touched
  InUse,         // another program holds it
  NoPermission,  // the user may not open it
  NotSerial,     // no terminal: a regular file, folder, pipe, /dev/null, a loop of links
  Missing        // no such device
};

// The same finding in the three states of a port list.
enum class TAfPortProbe : uint16_t { Busy = 0, Free = 1, Missing = 2 };

// What the machine offers as COM<n>: where the device lives and whether it could be opened. The serial
// layer's public face over its operating-system calls, for port lists and other callers above it.
class TAfPortInfo {
 public:
  // The device behind COM<n>: the COM folder's entry when TARNEL_COM_DIR is set, else the built-in table.
  // Empty when the number has no device.
  static std::string DevicePath(int ComNumber);

  // A sentence saying the folder TARNEL_COM_DIR names is missing or no folder; empty when it is fine or
  // the variable is not set.
  static std::string ComDirProblem();

  // Opens and closes the port only; a port this process holds open is not touched.
  static TAfPortCondition Inspect(int ComNumber);

  // Inspect in three states: Busy for a port open here, in use or refused; Missing for no serial device.
  static TAfPortProbe Probe(int ComNumber);
};

}  // namespace tarnel
