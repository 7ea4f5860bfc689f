#include "serial/AfComPortThreads.h"

#include "serial/AfComPortCore.h"
#include "serial/ApplicationErrors.h"

namespace tarnel {

// ---------------------------------------------------------------------------------------------------------
// TAfComPortCoreThread

TAfComPortCoreThread::TAfComPortCoreThread(const TAfComPortThreadContext& Context)
    : Core(Context.Core),
      Device(*Context.Device),
      ThreadStartedEvent(*Context.ThreadStartedEvent),
      OutFreeEvent(*Context.OutFreeEvent) {}

void TAfComPortCoreThread::StopThread() {
  Terminate();
  StopEvent.Set();
  WaitFor();
}

// ---------------------------------------------------------------------------------------------------------
// TAfComPortEventThread

TAfComPortEventThread::TAfComPortEventThread(const TAfComPortThreadContext& Context)
    : TAfComPortCoreThread(Context), FOnCoreEvent(Context.OnCoreEvent), FPortNumber(Context.PortNumber) {
  Start();
}

TAfComPortEventThread::~TAfComPortEventThread() {
  TAfComPortCoreThread::StopThread();
}

void TAfComPortEventThread::Execute() {
  OutFreeEvent.Reset();  // free output signalled before this thread ran is not reported
  ThreadStartedEvent.Set();
  while (!Terminated()) {
    switch (platform::WaitAny({&StopEvent, &Device.LineEventSource(), &OutFreeEvent}, kPollMs)) {
      case 0:
        Terminate();
        break;
      case 1:
        DispatchCommEvent(Device.TakeLineEvents());
        break;
      case 2:
        RaiseCoreEvent(ceOutFree, 0);
        break;
      default:
        Poll();
        break;
    }
    if (!FLossReported && Device.IsGone() && !Terminated()) ReportLoss();
  }
}

void TAfComPortEventThread::DispatchCommEvent(uint32_t CommEventMask) {
  if (CommEventMask != 0) RaiseCoreEvent(ceLineEvent, CommEventMask);
}

// The quiet-line look: modem lines that changed without waking us, and bytes still waiting unread.
void TAfComPortEventThread::Poll() {
  DispatchCommEvent(Device.TakeLineEvents());
  if (Terminated()) return;
  COMSTAT stat;
  Core->GetQueueStatus(stat);
  if (stat.cbInQue > 0) RaiseCoreEvent(ceNeedReadData, stat.cbInQue);
}

TAfCoreEventHandler TAfComPortEventThread::Handler() {
  std::lock_guard lock(FHandlerLock);
  return FOnCoreEvent;
}

void TAfComPortEventThread::RaiseCoreEvent(TAfCoreEvent Kind, uint32_t Data) {
  const TAfCoreEventHandler handler = Handler();
  if (!handler) return;
  std::exception_ptr error;
  try {
    handler(Core, Kind, Data, nullptr);
  } catch (const EAbort&) {
    // the owner's silent abort, as while its delivery slot is shut
  } catch (...) {
    error = std::current_exception();
  }
  // Handed over after the catch has ended, so this thread keeps no hold on the exception the UI thread
  // goes on to show.
  if (error) ReportException(std::move(error));
}

// The owner takes the exception with ceException; without an owner it goes to the application.
void TAfComPortEventThread::ReportException(std::exception_ptr Error) {
  if (!Error || IsSilentAbort(Error)) return;
  const TAfCoreEventHandler handler = Handler();
  if (!handler) {
    ReportToApplication(Error);
    return;
  }
  try {
    handler(Core, ceException, 0, std::move(Error));
  } catch (...) {
    ReportToApplication(std::current_exception());
  }
}

// Once per open: the owner closes the port for it. While the port is being closed nobody is told.
void TAfComPortEventThread::ReportLoss() {
  FLossReported = true;
  const TAfCoreEventHandler handler = Handler();
  if (!handler) return;
  try {
    handler(Core, ceException, 0, std::make_exception_ptr(EAfComPortLost(LostPortText(FPortNumber))));
  } catch (const EAbort&) {
  } catch (...) {
    ReportToApplication(std::current_exception());
  }
}

int32_t TAfComPortEventThread::ReadBytes(void* Buffer, int32_t Count) {
  const int32_t read = Device.Read(Buffer, Count);
  return read > 0 ? read : 0;
}

void TAfComPortEventThread::StopThread() {
  {
    std::lock_guard lock(FHandlerLock);
    FOnCoreEvent = nullptr;
  }
  Terminate();
  Device.SetEventMask(0);
  Device.Purge(platform::PURGE_RXABORT | platform::PURGE_RXCLEAR);
  TAfComPortCoreThread::StopThread();
}

// ---------------------------------------------------------------------------------------------------------
// TAfComPortWriteThread

TAfComPortWriteThread::TAfComPortWriteThread(const TAfComPortThreadContext& Context)
    : TAfComPortCoreThread(Context), WriteLock(*Context.WriteLock), Buffer(Context.OutQueueSize) {
  Start();
}

TAfComPortWriteThread::~TAfComPortWriteThread() {
  TAfComPortCoreThread::StopThread();
}

void TAfComPortWriteThread::Execute() {
  ThreadStartedEvent.Set();
  while (!Terminated()) {
    switch (platform::WaitAny({&StopEvent, &PurgeRequestEvent, &DataReadyEvent}, -1)) {
      case 0:
        Terminate();
        break;
      case 1:
        ServePurge();
        break;
      case 2:
        WriteRuns();
        break;
      default:
        break;
    }
  }
}

// Writes the ring's runs one after another while the driver takes them, dropping exactly the bytes it took,
// so a short write carries on with the rest and no byte goes out twice. A stop or purge request ends the
// loop between two writes. A failed write leaves its bytes at the front; the next QueueBytes tries them
// again.
void TAfComPortWriteThread::WriteRuns() {
  while (!Terminated() && !FPurgeRequested) {
    const uint8_t* run;
    int32_t count;
    {
      std::lock_guard lock(WriteLock);
      count = Buffer.ContiguousUsed();
      run = Buffer.ReadPointer();
      FWriting = count > 0;
    }
    if (count == 0) return;
    const int32_t written = Device.Write(run, count);
    if (written < 0) break;
    if (written == 0) {
      if (WaitWritable()) continue;
      break;
    }
    bool drained;
    {
      std::lock_guard lock(WriteLock);
      Buffer.Remove(written);
      drained = Buffer.Used() == 0;
      FWriting = !drained;
    }
    if (drained) {
      OutFreeEvent.Set();
      return;
    }
  }
  std::lock_guard lock(WriteLock);
  FWriting = false;
}

// The driver is full: wait until it takes more, unless a stop or a purge comes first.
bool TAfComPortWriteThread::WaitWritable() {
  switch (platform::WaitAny({&StopEvent, &PurgeRequestEvent, &Device.WriteReadySource()}, -1)) {
    case 0:
      Terminate();
      return false;
    case 1:
      ServePurge();
      return false;
    case 2:
      return true;
    default:
      return false;
  }
}

// Runs on this thread, between writes, so the ring never changes under a write in progress.
void TAfComPortWriteThread::ServePurge() {
  {
    std::lock_guard lock(WriteLock);
    DataReadyEvent.Reset();
    Buffer.Clear();
    FWriting = false;
    FPurgeResult = Device.Purge(platform::PURGE_TXABORT | platform::PURGE_TXCLEAR);
    FPurgeRequested = false;
  }
  PurgeAckEvent.Set();
}

// A thread busy writing finds the new bytes by itself; only an idle one is woken, and only once the lock
// is free: woken under it, the thread would at once block on the lock and cost one more switch. A wake-up
// that comes after the thread found the bytes by itself finds an empty ring.
bool TAfComPortWriteThread::QueueBytes(const void* Source, int32_t Count) {
  bool wake;
  {
    std::lock_guard lock(WriteLock);
    if (!Buffer.Write(Source, Count)) return false;
    wake = !FWriting;
  }
  if (wake) DataReadyEvent.Set();
  return true;
}

// An idle thread holds no run of the ring and takes WriteLock before it looks at the ring again, so the
// caller purges at once under that lock, as ServePurge would, without waiting for the thread to wake. Only
// a thread in the middle of a write is asked to purge between two writes.
bool TAfComPortWriteThread::PurgeQueue() {
  {
    std::lock_guard lock(WriteLock);
    if (!FWriting) {
      DataReadyEvent.Reset();
      Buffer.Clear();
      return Device.Purge(platform::PURGE_TXABORT | platform::PURGE_TXCLEAR);
    }
  }
  PurgeAckEvent.Reset();
  FPurgeRequested = true;
  PurgeRequestEvent.Set();
  if (PurgeAckEvent.Wait(kPurgeAckMs)) return FPurgeResult;
  PurgeRequestEvent.Reset();  // withdrawn: nothing is purged
  FPurgeRequested = false;
  return false;
}

int32_t TAfComPortWriteThread::FreeSpace() {
  std::lock_guard lock(WriteLock);
  return Buffer.FreeSpace();
}

void TAfComPortWriteThread::StopThread() {
  PurgeQueue();
  TAfComPortCoreThread::StopThread();
}

}  // namespace tarnel
