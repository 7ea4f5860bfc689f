#include "serial/AfComPortCore.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <utility>

#include "serial/AfComPortThreads.h"
#include "serial/platform/Event.h"
#include "serial/platform/SerialDevice.h"

namespace tarnel {
namespace {

constexpr uint32_t kEventMask = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_ERR | EV_RING;  // 441
constexpr int kThreadStartMs = 3000;

EAfComPortCoreError CoreError(const char* Format, int32_t Number) {
  char text[64];
  std::snprintf(text, sizeof text, Format, static_cast<int>(Number));
  return EAfComPortCoreError(text);
}

EAfComPortCoreError CoreError(const char* Text) {
  return EAfComPortCoreError(Text);
}

// The system's own text stays the first line and reads in the error box as it always has: the period the
// box would have added at its end comes before the reason instead.
EAfComPortCoreError CoreError(const char* Format, int32_t Number, const std::string& Reason) {
  std::string text = CoreError(Format, Number).what();
  if (Reason.empty()) return EAfComPortCoreError(text);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return EAfComPortCoreError(text + "\n" + Reason);
}

TSerialDeviceFactory& DefaultDeviceFactory() {
  static TSerialDeviceFactory factory;
  return factory;
}

}  // namespace

std::string LostPortText(int32_t ComNumber) {
  return "COM" + std::to_string(ComNumber) +
         " was lost: the device has gone away (unplugged?). The port has been closed.";
}

struct TAfComPortCore::Impl {
  TSerialDeviceFactory DeviceFactory;
  std::atomic<bool> IsActive{false};
  int32_t PortNumber = 0;
  DCB Dcb{};
  uint32_t EventMask = kEventMask;
  std::unique_ptr<platform::SerialDevice> Device;  // open from the device open to the end of closing
  std::atomic<bool> IsOpen{false};
  uint32_t LineErrors = 0;
  int32_t InQueueSize = 8192;
  int32_t OutQueueSize = 4096;
  // ReadLock guards the device's input side and LineErrors; WriteLock the output ring. WriteLock may be
  // taken while ReadLock is held, never the reverse.
  std::mutex ReadLock;
  std::mutex WriteLock;
  std::unique_ptr<TAfComPortEventThread> EventThread;
  platform::Event ThreadStartedEvent{platform::Event::Kind::AutoReset};
  platform::Event OutFreeEvent{platform::Event::Kind::AutoReset};
  std::unique_ptr<TAfComPortWriteThread> WriteThread;
  TThreadPriority WriteThreadPriority = tpHigher;
  TThreadPriority EventThreadPriority = tpNormal;
};

TAfComPortCore::TAfComPortCore(TSerialDeviceFactory DeviceFactory) : d(std::make_unique<Impl>()) {
  d->DeviceFactory = std::move(DeviceFactory);
}

TSerialDeviceFactory TAfComPortCore::SetDefaultDeviceFactory(TSerialDeviceFactory DeviceFactory) {
  return std::exchange(DefaultDeviceFactory(), std::move(DeviceFactory));
}

TAfComPortCore::~TAfComPortCore() {
  ClosePort();
}

bool TAfComPortCore::OpenPort(int32_t ComNumber) {
  if (d->IsOpen) return false;
  if (ComNumber <= 0) throw CoreError("Invalid port number (COM%d)", ComNumber);
  d->PortNumber = ComNumber;
  const TSerialDeviceFactory& factory = d->DeviceFactory ? d->DeviceFactory : DefaultDeviceFactory();
  auto device = factory ? factory() : platform::CreateSerialDevice();
  switch (device->Open(ComNumber)) {
    case platform::TOpenResult::Missing:
      throw CoreError("Invalid port number (COM%d)", ComNumber, device->OpenFailure());
    case platform::TOpenResult::Failed:
      throw CoreError("Can't open device COM%d", ComNumber, device->OpenFailure());
    case platform::TOpenResult::Opened:
      break;
  }
  d->Device = std::move(device);
  d->EventThread.reset();
  d->WriteThread.reset();
  try {
    OpenSequence();
  } catch (...) {
    CloseSequence();
    throw;
  }
  d->IsOpen = true;
  return true;
}

void TAfComPortCore::OpenSequence() {
  platform::SerialDevice& device = *d->Device;
  if (!device.SetReadsReturnAtOnce()) throw CoreError("Error setting timeouts");
  if (!device.SetQueueSizes(d->InQueueSize, d->OutQueueSize)) throw CoreError("Error initializing buffers");
  if (!device.SetEventMask(d->EventMask)) throw CoreError(" Error setting EventMask");
  ApplyDcb();
  d->LineErrors = 0;
  StartWriteThread();
  d->IsActive = true;
  StartEventThread();
}

// On refusal the field is reloaded with what the driver holds before the error is raised.
void TAfComPortCore::ApplyDcb() {
  if (d->Device->ApplyLineSettings(d->Dcb)) return;
  d->Device->ReadLineSettings(d->Dcb);
  throw CoreError("Error setting parameters from DCB");
}

TAfComPortThreadContext TAfComPortCore::ThreadContext() {
  TAfComPortThreadContext context;
  context.Core = this;
  context.Device = d->Device.get();
  context.ThreadStartedEvent = &d->ThreadStartedEvent;
  context.OutFreeEvent = &d->OutFreeEvent;
  context.WriteLock = &d->WriteLock;
  context.OutQueueSize = d->OutQueueSize;
  context.PortNumber = d->PortNumber;
  context.OnCoreEvent = OnCoreEvent;
  d->ThreadStartedEvent.Reset();
  return context;
}

// A thread that does not report within the time is kept, so the close sequence still stops it.
void TAfComPortCore::StartWriteThread() {
  try {
    d->WriteThread = std::make_unique<TAfComPortWriteThread>(ThreadContext());
  } catch (const std::exception&) {
    throw CoreError("Error creating threads");
  }
  WaitThreadStarted();
  d->WriteThread->SetPriority(d->WriteThreadPriority);
}

// The port is active already, so the new thread's callback may read through the core at once: it finds
// the thread under ReadLock.
void TAfComPortCore::StartEventThread() {
  try {
    auto thread = std::make_unique<TAfComPortEventThread>(ThreadContext());
    std::lock_guard lock(d->ReadLock);
    d->EventThread = std::move(thread);
  } catch (const std::exception&) {
    throw CoreError("Error creating threads");
  }
  WaitThreadStarted();
  d->EventThread->SetPriority(d->EventThreadPriority);
}

void TAfComPortCore::WaitThreadStarted() {
  if (!d->ThreadStartedEvent.Wait(kThreadStartMs)) throw CoreError("Error creating threads");
}

// The closing thread never waits for a port thread while it holds a lock, so an event thread that is
// about to take ReadLock (its poll, or an owner callback reading) always gets it and ends.
void TAfComPortCore::CloseSequence() {
  if (!d->Device) return;
  d->IsActive = false;
  {
    std::lock_guard lock(d->ReadLock);
    d->Device->Purge(platform::PURGE_TXABORT | platform::PURGE_RXABORT | platform::PURGE_TXCLEAR |
                     platform::PURGE_RXCLEAR);
  }
  if (d->WriteThread) d->WriteThread->StopThread();
  if (d->EventThread) d->EventThread->StopThread();
  std::lock_guard readLock(d->ReadLock);
  std::lock_guard writeLock(d->WriteLock);
  d->WriteThread.reset();
  d->EventThread.reset();
  d->Device->Close();
  d->Device.reset();
}

void TAfComPortCore::ClosePort() {
  if (!d->IsOpen) return;
  CloseSequence();
  d->IsOpen = false;
}

int32_t TAfComPortCore::ReadBytes(void* Buffer, int32_t Count) {
  if (!d->IsActive) return -1;
  std::lock_guard lock(d->ReadLock);
  if (!d->Device || Count <= 0) return d->Device ? 0 : -1;
  if (d->EventThread) return d->EventThread->ReadBytes(Buffer, Count);
  const int32_t read = d->Device->Read(Buffer, Count);
  return read > 0 ? read : 0;
}

// A device that went away takes nothing more: the owner hears of it at once.
bool TAfComPortCore::WriteBytes(const void* Buffer, int32_t Count) {
  if (!d->IsActive || !d->WriteThread || d->Device->IsGone()) return false;
  return d->WriteThread->QueueBytes(Buffer, Count);
}

int32_t TAfComPortCore::OutputFree() {
  if (!d->IsActive || !d->WriteThread) return 0;
  return d->WriteThread->FreeSpace();
}

void TAfComPortCore::GetQueueStatus(COMSTAT& Stat) {
  Stat = COMSTAT{};
  if (!d->IsActive) return;
  std::lock_guard lock(d->ReadLock);
  if (!d->Device) return;
  uint32_t errors = 0;
  if (d->Device->ClearErrors(errors, Stat)) d->LineErrors |= errors;
}

bool TAfComPortCore::WaitForInput(int32_t TimeoutMs) {
  platform::SerialDevice* device = nullptr;
  if (d->IsActive) {
    std::lock_guard lock(d->ReadLock);
    if (d->Device && !d->Device->IsGone()) device = d->Device.get();
  }
  if (device) return device->WaitForInput(TimeoutMs);
  // Nothing to wait on: only the time passes.
  platform::HandleWaitable nothing;
  return platform::WaitAny({&nothing}, TimeoutMs) == 0;
}

uint32_t TAfComPortCore::TakeLineErrors() {
  if (!d->IsActive) return 0;
  std::lock_guard lock(d->ReadLock);
  const uint32_t errors = d->LineErrors;
  d->LineErrors = 0;
  return errors;
}

bool TAfComPortCore::PurgeInput() {
  if (!d->IsActive) return false;
  std::lock_guard lock(d->ReadLock);
  return d->Device && d->Device->Purge(platform::PURGE_RXABORT | platform::PURGE_RXCLEAR);
}

bool TAfComPortCore::PurgeOutput() {
  if (!d->IsActive || !d->WriteThread) return false;
  return d->WriteThread->PurgeQueue();
}

bool TAfComPortCore::EscapeFunction(uint32_t Function) {
  if (!d->IsActive) return false;
  std::lock_guard lock(d->ReadLock);
  return d->Device && d->Device->Escape(Function);
}

void TAfComPortCore::ConfigureLine(const DCB& Dcb) {
  d->Dcb = Dcb;
  if (d->IsActive) ApplyDcb();
}

void TAfComPortCore::SetInQueueSize(int32_t Size) {
  d->InQueueSize = Size;
}

void TAfComPortCore::SetOutQueueSize(int32_t Size) {
  d->OutQueueSize = Size;
}

void TAfComPortCore::SetEventThreadPriority(TThreadPriority Priority) {
  if (Priority == d->EventThreadPriority) return;
  d->EventThreadPriority = Priority;
  if (d->IsActive && d->EventThread) d->EventThread->SetPriority(Priority);
}

void TAfComPortCore::SetWriteThreadPriority(TThreadPriority Priority) {
  if (Priority == d->WriteThreadPriority) return;
  d->WriteThreadPriority = Priority;
  if (d->IsActive && d->WriteThread) d->WriteThread->SetPriority(Priority);
}

bool TAfComPortCore::IsOpen() const {
  return d->IsOpen;
}
bool TAfComPortCore::IsActive() const {
  return d->IsActive;
}
const DCB& TAfComPortCore::Dcb() const {
  return d->Dcb;
}
int TAfComPortCore::Handle() const {
  return d->Device ? d->Device->Handle() : -1;
}
int32_t TAfComPortCore::PortNumber() const {
  return d->PortNumber;
}
bool TAfComPortCore::DeviceGone() const {
  return d->IsOpen && d->Device && d->Device->IsGone();
}
int32_t TAfComPortCore::InQueueSize() const {
  return d->InQueueSize;
}
int32_t TAfComPortCore::OutQueueSize() const {
  return d->OutQueueSize;
}
uint32_t TAfComPortCore::EventMask() const {
  return d->EventMask;
}
TThreadPriority TAfComPortCore::EventThreadPriority() const {
  return d->EventThreadPriority;
}
TThreadPriority TAfComPortCore::WriteThreadPriority() const {
  return d->WriteThreadPriority;
}

}  // namespace tarnel
