#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "serial/AfCircularBuffer.h"
#include "serial/AfComPortTypes.h"
#include "serial/TThread.h"
#include "serial/platform/Event.h"
#include "serial/platform/SerialDevice.h"

namespace tarnel {

// What a port thread shares with the core that starts it; everything outlives the thread.
struct TAfComPortThreadContext {
  TAfComPortCore* Core = nullptr;
  platform::SerialDevice* Device = nullptr;
  platform::Event* ThreadStartedEvent = nullptr;  // signalled once when the thread has started
  platform::Event* OutFreeEvent = nullptr;        // all queued output handed to the driver
  std::mutex* WriteLock = nullptr;
  int32_t OutQueueSize = 0;
  int32_t PortNumber = 0;
  TAfCoreEventHandler OnCoreEvent;
};

// The base of both port threads: a stop event, the core and its device.
class TAfComPortCoreThread : public TThread {
 public:
  explicit TAfComPortCoreThread(const TAfComPortThreadContext& Context);
  // Ends the thread and waits for it; the object may be freed afterwards.
  virtual void StopThread();

 protected:
  platform::Event StopEvent{platform::Event::Kind::ManualReset};
  TAfComPortCore* Core;
  platform::SerialDevice& Device;
  platform::Event& ThreadStartedEvent;
  platform::Event& OutFreeEvent;
};

// Waits for line events, polls the input queue every 200 ms, turns OutFreeEvent into ceOutFree, tells the
// owner once when the device has gone away (ceException with EAfComPortLost), and is the only thread that
// calls the owner's callback.
class TAfComPortEventThread : public TAfComPortCoreThread {
 public:
  explicit TAfComPortEventThread(const TAfComPortThreadContext& Context);  // returns with the thread running
  ~TAfComPortEventThread() override;

  // On the caller's thread, under the core's ReadLock: what has arrived, at most Count bytes.
  int32_t ReadBytes(void* Buffer, int32_t Count);
  // No callback starts once this has begun; a running one is not interrupted.
  void StopThread() override;

 protected:
  void Execute() override;
  void ReportException(std::exception_ptr Error) override;

 private:
  static constexpr int kPollMs = 200;
  void DispatchCommEvent(uint32_t CommEventMask);
  void Poll();
  void RaiseCoreEvent(TAfCoreEvent Kind, uint32_t Data);
  void ReportLoss();
  TAfCoreEventHandler Handler();

  std::mutex FHandlerLock;
  TAfCoreEventHandler FOnCoreEvent;
  int32_t FPortNumber;
  bool FLossReported = false;
};

// Owns the output ring and moves its bytes to the driver, straight from the ring's storage.
class TAfComPortWriteThread : public TAfComPortCoreThread {
 public:
  explicit TAfComPortWriteThread(const TAfComPortThreadContext& Context);  // returns with the thread running
  ~TAfComPortWriteThread() override;

  // All Count bytes go into the ring, or none.
  bool QueueBytes(const void* Buffer, int32_t Count);
  // Empties the ring and the driver's output: at once while the thread is idle, else by the thread between
  // two writes; false when it does not answer within 2000 ms.
  bool PurgeQueue();
  int32_t FreeSpace();
  // Purges first, so a write held up by the line never keeps the stop waiting.
  void StopThread() override;

 protected:
  void Execute() override;

 private:
  static constexpr int kPurgeAckMs = 2000;
  void WriteRuns();
  bool WaitWritable();
  void ServePurge();

  platform::Event PurgeAckEvent{platform::Event::Kind::AutoReset};
  platform::Event PurgeRequestEvent{platform::Event::Kind::AutoReset};
  platform::Event DataReadyEvent{platform::Event::Kind::AutoReset};
  std::mutex& WriteLock;
  TAfCircularBuffer Buffer;
  std::atomic<bool> FPurgeResult{false};
  std::atomic<bool> FPurgeRequested{false};  // lets a write loop end between two writes
  bool FWriting = false;                     // taking runs from the ring; guarded by WriteLock
};

}  // namespace tarnel
