#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "serial/AfComPortTypes.h"

namespace tarnel::test {

// COM1 is the simulator on the Linux side; its device answers at this address and speed.
inline constexpr int kSimulatedPort = 1;
inline constexpr uint8_t kSimulatedAddress = 5;
inline constexpr uint32_t kSimulatedSpeed = 9600;

// True when the program runs under Wine, whose serial ports on pseudo-terminals differ from Windows' own.
bool RunningUnderWine();

// 8 data bits, no parity, one stop bit, no flow control, DTR and RTS raised.
DCB PlainLine(uint32_t Speed);

// What the system says of the calling thread's priority; THREAD_PRIORITY_LOWEST is this.
int CurrentThreadPriority();
inline constexpr int kLowestThreadPriority = -2;

// Milliseconds since Start.
inline int64_t ElapsedMs(std::chrono::steady_clock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Start)
      .count();
}

}  // namespace tarnel::test

// Skips a test whose behaviour Wine on a pseudo-terminal does not have, naming the difference.
#define SKIP_UNDER_WINE(Difference) \
  if (::tarnel::test::RunningUnderWine()) GTEST_SKIP() << "Wine on a pseudo-terminal: " << (Difference)
