#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

#include "common/ByteString.h"

namespace tarnel {

// What the exchange and the workflows above it need of a serial port, and nothing more. The serial layer
// serves it for its port component; tests serve it with a scripted line. Every call is made on the exchanging
// thread.
class TExchangePort {
 public:
  virtual ~TExchangePort() = default;

  virtual bool Active() const = 0;
  virtual int32_t Speed() const = 0;  // bits per second
  // Sets the line speed (bits per second); an open port goes on at the new speed. The port's own errors
  // pass through.
  virtual void SetSpeed(int32_t BitsPerSecond) = 0;
  virtual void PurgeRx() = 0;  // discards pending input
  virtual void PurgeTx() = 0;  // discards pending output
  // Queues the bytes for sending; the port's own errors pass through.
  virtual void Write(const ByteString& Bytes) = 0;
  virtual int32_t BytesWaiting() = 0;
  virtual ByteString ReadAll() = 0;  // every byte waiting now
  // Returns as soon as bytes are waiting, at the latest after TimeoutMs; bytes that arrived before the call
  // end it at once.
  virtual void WaitForArrival(int32_t TimeoutMs) = 0;
  // The exchange's closing pause: a sleep that returns at Until, never before. A port may offer a sleep
  // that ends closer to Until than the standard library's.
  virtual void PauseUntil(std::chrono::steady_clock::time_point Until) {
    // One sleep may end early where the system sleeps in whole milliseconds (Windows): sleep again.
    while (std::chrono::steady_clock::now() < Until)
      std::this_thread::sleep_until(Until);
  }
};

}  // namespace tarnel
