#pragma once

#include <cstdint>
#include <string>

namespace tarnel::platform {

// Where COM<n> lives on this machine: the entry COM<n> of the directory named by TARNEL_COM_DIR when it
// exists there, else the built-in table (COM1-32 ttyS, COM33-64 ttyUSB, COM65-96 ttyACM, COM97-128 ttyAMA).
// Empty when the number has no device.
std::string ComDevicePath(int ComNumber);

// What a probe of a port found.
enum class TPortProbe : uint16_t { Busy = 0, Free = 1, Missing = 2 };

// Opens and closes the port only, never changing its settings; a port held by this or another program is
// Busy. A port this process holds open is reported Busy without being touched.
TPortProbe ProbeComPort(int ComNumber);

// Opens COM<n> for reading and writing, non-blocking, without making it the controlling terminal, and
// locks it against every other user at once. Returns the descriptor, or -1 with Missing set when the
// device does not exist (clear when it exists but cannot be had).
int OpenComDevice(int ComNumber, bool& Missing);

// Unlocks and closes a descriptor from OpenComDevice; false when the close failed.
bool CloseComDevice(int Fd);

}  // namespace tarnel::platform
