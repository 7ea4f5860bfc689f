#pragma once

#include <string>

// What the Windows files of the platform layer share: the ports this process holds and the meaning of
// the system's error codes. No <windows.h> here.
namespace tarnel::platform::win32 {

void HoldPort(int ComNumber);
void ReleasePort(int ComNumber);
bool IsHeldHere(int ComNumber);

// The open failed because there is no such device.
bool MeansMissing(unsigned long Error);
// Another program (or another handle of this one) has the port.
bool MeansInUse(unsigned long Error);

// Why an open of COM<ComNumber> failed with Error (a GetLastError code), in sentences ending with a period.
std::string OpenErrorReason(int ComNumber, unsigned long Error);

// The system's own text for Error, without the line break it ends with.
std::string SystemMessage(unsigned long Error);

}  // namespace tarnel::platform::win32
