#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serial/AfComPortTypes.h"
#include "serial/platform/UsbAdapter.h"

namespace tarnel::platform {

// Where COM<n> lives on this machine. With TARNEL_COM_DIR set, only that folder's entry COM<n> (usually a
// link to a device or pseudo-terminal): a number without an entry has no device, so a vanished link never
// leads to another port. Without it, the built-in table (COM1-32 ttyS, COM33-64 ttyUSB, COM65-96 ttyACM,
// COM97-128 ttyAMA). Empty when the number has no device.
std::string ComDevicePath(int ComNumber);

// The device file a user knows COM<n> by, shown beside the COM name in lists: the device path (where a link
// leads is the caller's to follow); empty on Windows, where the COM name is the device's own name.
std::string ComDeviceFileShown(int ComNumber);

// What the system tells of the adapter behind COM<n>, for lists: sysfs and udev's links here, the device
// manager's friendly name on Windows (as Product). Nothing is opened.
TUsbAdapter DescribeComAdapter(int ComNumber);

// A sentence saying that the folder TARNEL_COM_DIR names does not exist (or is no folder); empty when it
// does, or when the variable is not set.
std::string ComDirProblem();

// What a probe of a port found: the serial layer's own kinds, so a finding passes up unchanged.
using TPortProbe = TAfPortProbe;

// The finer finding behind a probe.
using TPortCondition = TAfPortCondition;

// Opens and closes the port only, never changing its settings; a port this process holds open is not
// touched, and an entry that is no character device is not even opened.
TPortCondition InspectComPort(int ComNumber);

// InspectComPort in the three states of the port list: Busy for a port open here, in use or refused,
// Missing for one that is no serial device.
TPortProbe ProbeComPort(int ComNumber);

enum class TOpenResult { Opened, Missing, Failed };

struct TComOpen {
  int Fd = -1;  // the descriptor when opened
  TOpenResult Result = TOpenResult::Failed;
  std::string Reason;  // why it failed, in sentences a technician can act on, ending with a period
};

// Opens COM<n> for reading and writing, non-blocking, without making it the controlling terminal, and
// locks it against every other user at once. Anything but a terminal is refused before it is locked.
TComOpen OpenComDevice(int ComNumber);

// Unlocks and closes a descriptor from OpenComDevice; false when the close failed.
bool CloseComDevice(int Fd);

// Why an open of Path failed with Error (an errno value).
std::string OpenFailureReason(const std::string& Path, int Error);

// A process that has a device open or locked.
struct TPortHolder {
  int Pid = 0;
  std::string Name;  // its command name; empty when the system does not tell
};

// Who has the device behind Path open or locked, from /proc/locks and the descriptors in /proc/*/fd (those
// of other users' processes only where the system lets us look).
std::vector<TPortHolder> PortHolders(const std::string& Path);

}  // namespace tarnel::platform
