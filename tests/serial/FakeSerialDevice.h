#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "common/ByteString.h"
#include "serial/AfComPortCore.h"
#include "serial/platform/SerialDevice.h"

namespace tarnel::test {

// The far side of a serial device held in memory, for what a pseudo-terminal never does on cue: a driver
// that takes part of a write, one that goes away in the middle of a write, a read that gives less than was
// counted. The test scripts and watches it; the device a core opens on it plays it out.
class FakeLine {
 public:
  static constexpr int32_t kFails = -1;  // a write that fails as when the device has gone away (EIO)

  // How the next write calls go, one entry each: at most so many bytes taken (0: the driver is full for a
  // moment), or kFails. Calls past the script take everything.
  void ScriptWrites(std::vector<int32_t> Takes);
  // At most so many bytes for each of the next read calls, though more are counted as waiting.
  void ScriptReads(std::vector<int32_t> Limits);
  void Arrive(const ByteString& Bytes);

  ByteString Written() const;
  bool Gone() const;
  int OutputPurges() const;  // purges of the driver's output so far
  // Makes devices on this line for a core, which owns them; the line must outlive the core.
  TSerialDeviceFactory Factory();

 private:
  friend class FakeSerialDevice;
  int32_t TakeFor(int32_t Count);   // under FLock
  int32_t LimitFor(int32_t Count);  // under FLock

  mutable std::mutex FLock;
  std::deque<int32_t> FWriteTakes, FReadLimits;
  ByteString FWritten, FPending;
  uint32_t FEvents = 0;
  bool FGone = false;
  int FOutputPurges = 0;
  platform::Event FLineEvent{platform::Event::Kind::AutoReset};
  platform::Event FWriteReady{platform::Event::Kind::AutoReset};
  platform::Event FInputWaiting{platform::Event::Kind::ManualReset};  // its descriptor is the device's handle
};

}  // namespace tarnel::test
