#pragma once

#include <cstdint>
#include <string>

#include "common/Exception.h"
#include "engine/DeviceLine.h"
#include "serial/AfComPort.h"
#include "serial/AfComPortExchange.h"

namespace tarnel::cli {

// The port could not be had or was lost; the message is one line with the reason.
class EPortError : public Exception {
 public:
  using Exception::Exception;
};

// The highest COM number a port may have: COM folders may number their entries freely; the built-in table
// ends at 128.
inline constexpr int kHighestComNumber = 256;

// The COM number of a port given as "COM3", "COM 3", "3", or a device file (a /dev/serial/by-id name, or
// the entry of the COM folder TARNEL_COM_DIR names); throws EPortError when no COM number leads to it.
int ComNumberOf(const std::string& Port);

// The line a command talks on: the port component open at a speed, and the exchange on it.
class TCliLine {
 public:
  // Opens Port at Speed (bit/s); throws EPortError with the reason the window would give.
  TCliLine(const std::string& Port, int32_t Speed);
  TCliLine(const TCliLine&) = delete;
  TCliLine& operator=(const TCliLine&) = delete;

  TDeviceLine& Line() { return FLine; }
  std::string PortName() const { return FPort.PortName(); }
  std::string DevicePath() const;

 private:
  TAfComPort FPort;
  TAfComPortExchange FAdapter{&FPort};
  TDeviceLine FLine{FAdapter};
};

}  // namespace tarnel::cli
