#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "serial/AfComPortTypes.h"

namespace tarnel {

namespace platform {
class SerialDevice;
}

struct TAfComPortThreadContext;

// Makes the device a core opens. Empty means the operating system's own; tests give one in memory.
using TSerialDeviceFactory = std::function<std::unique_ptr<platform::SerialDevice>()>;

// Owns one serial device: opens it by COM number, configures it, runs the event and write threads, and
// offers byte-level operations that answer with a Boolean or a count and never raise.
class TAfComPortCore {
 public:
  explicit TAfComPortCore(TSerialDeviceFactory DeviceFactory = {});
  ~TAfComPortCore();
  // What cores made without a factory of their own (every port component's) use from their next open on;
  // returns the one it replaces. Called on the UI thread while no port opens.
  static TSerialDeviceFactory SetDefaultDeviceFactory(TSerialDeviceFactory DeviceFactory);
  TAfComPortCore(const TAfComPortCore&) = delete;
  TAfComPortCore& operator=(const TAfComPortCore&) = delete;

  // False when already open; raises EAfComPortCoreError on failure (the port is then fully closed again).
  // The message's first line says that the port could not be opened, the lines after it why.
  bool OpenPort(int32_t ComNumber);
  void ClosePort();

  int32_t ReadBytes(void* Buffer, int32_t Count);      // -1 when not active
  bool WriteBytes(const void* Buffer, int32_t Count);  // all Count bytes queued, or none
  int32_t OutputFree();                                // 0 when not active
  void GetQueueStatus(COMSTAT& Stat);                  // all zero when not active
  uint32_t TakeLineErrors();                           // 0 when not active
  // Returns true as soon as input is waiting (at once when some already is), false after TimeoutMs. Looks
  // at the device itself, so no event the event thread takes is consumed; a closed port or a device that
  // went away just waits the time.
  bool WaitForInput(int32_t TimeoutMs);
  bool PurgeInput();
  bool PurgeOutput();
  bool EscapeFunction(uint32_t Function);

  void ConfigureLine(const DCB& Dcb);  // raises when an active port rejects it
  void SetInQueueSize(int32_t Size);
  void SetOutQueueSize(int32_t Size);
  void SetEventThreadPriority(TThreadPriority Priority);
  void SetWriteThreadPriority(TThreadPriority Priority);

  bool IsOpen() const;
  bool IsActive() const;
  const DCB& Dcb() const;  // the settings last given, or reloaded from the driver
  int Handle() const;      // the device descriptor, -1 while closed
  int32_t PortNumber() const;
  // The port is open but its device has gone away: reads give nothing and writes are refused.
  bool DeviceGone() const;

  TAfCoreEventHandler OnCoreEvent;  // copied by the event thread when it is created

  // Read-only views of the settings kept for the next open.
  int32_t InQueueSize() const;
  int32_t OutQueueSize() const;
  uint32_t EventMask() const;
  TThreadPriority EventThreadPriority() const;
  TThreadPriority WriteThreadPriority() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d;

  void OpenSequence();
  void CloseSequence();
  void ApplyDcb();
  TAfComPortThreadContext ThreadContext();
  void StartWriteThread();
  void StartEventThread();
  void WaitThreadStarted();
};

}  // namespace tarnel
