// The serial device on Windows: an overlapped COM handle. The line events come from one overlapped
// WaitCommEvent at a time, reads take only what ClearCommError reports waiting (so they never block), and
// a write hands its bytes to one overlapped WriteFile whose completion says the driver may take more.
#include "serial/platform/SerialDevice.h"
#include "serial/platform/win32/Ports.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnel::platform {
namespace {

static_assert(sizeof(::DCB) == sizeof(DCB), "the component's DCB is the system's");
static_assert(sizeof(::COMSTAT) == sizeof(COMSTAT), "the component's COMSTAT is the system's size");
static_assert(EV_RXCHAR == 0x0001 && EV_ERR == 0x0080 && CE_FRAME == 0x0008 && PURGE_RXCLEAR == 0x0008 &&
                  SETDTR == 5 && SETBREAK == 8,
              "the component's codes are the system's");

using Clock = std::chrono::steady_clock;

// How long a failed WaitCommEvent rests before it is asked again.
constexpr auto kWaitRetryPause = std::chrono::milliseconds(20);
// The longest a read of bytes already waiting may take before it is cancelled.
constexpr DWORD kReadCompletionMs = 200;
// Completed WaitCommEvent calls collected in one go before the caller is asked to come back.
constexpr int kImmediateEvents = 4;

NativeHandle Native(HANDLE Handle) {
  return reinterpret_cast<NativeHandle>(Handle);
}

// Errors that mean the device itself went away (unplugged adapter, closed other end). Cancellation (995)
// also ends a wait whose mask changed, so it means gone only when the device no longer answers.
bool MeansGone(DWORD Error) {
  return Error == ERROR_NOT_READY || Error == ERROR_BROKEN_PIPE || Error == ERROR_DEVICE_NOT_CONNECTED;
}

class Win32SerialDevice : public SerialDevice {
 public:
  Win32SerialDevice();
  ~Win32SerialDevice() override;

  TOpenResult Open(int ComNumber) override;
  const std::string& OpenFailure() const override { return FOpenFailure; }
  bool Close() override;
  int Handle() const override;
  bool SetReadsReturnAtOnce() override;
  bool SetQueueSizes(int32_t InSize, int32_t OutSize) override;
  bool SetEventMask(uint32_t Mask) override;
  bool ApplyLineSettings(const DCB& Dcb) override;
  bool ReadLineSettings(DCB& Dcb) override;
  bool WaitForInput(int TimeoutMs) override;
  Waitable& LineEventSource() override { return FLineSource; }
  uint32_t TakeLineEvents() override;
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  Waitable& WriteReadySource() override { return FWriteSource; }
  bool ClearErrors(uint32_t& Errors, COMSTAT& Stat) override;
  bool Purge(uint32_t Flags) override;
  bool Escape(uint32_t Function) override;
  bool IsGone() const override { return FGone.load(); }

 private:
  bool IsOpen() const { return FPort != INVALID_HANDLE_VALUE; }
  // Notes a failure; an error that means the device went away marks it gone. False for the caller.
  bool Failed(DWORD Error);
  // A cancelled operation: gone when the device no longer answers a status query.
  void CheckCancelled();
  bool QueueStatus(DWORD& Errors, ::COMSTAT& Stat);
  void ArmEventWait(uint32_t& Events);  // with FEventLock held
  void FinishPending(OVERLAPPED& Overlapped, bool& Pending);

  HANDLE FPort = INVALID_HANDLE_VALUE;
  int FComNumber = 0;
  std::atomic<bool> FGone{false};
  std::string FOpenFailure;

  std::mutex FEventLock;  // guards the line-event wait
  OVERLAPPED FEventOverlapped{};
  DWORD FEventBits = 0;  // what the pending or completed WaitCommEvent reports
  bool FEventPending = false;
  uint32_t FEventMask = 0;
  Clock::time_point FEventRetryAt{};
  HandleWaitable FLineSource;

  std::mutex FReadLock;
  OVERLAPPED FReadOverlapped{};

  std::mutex FWriteLock;  // guards the write in flight
  OVERLAPPED FWriteOverlapped{};
  std::vector<char> FWriteBuffer;  // the bytes of the write in flight, which the driver reads until it ends
  bool FWritePending = false;
  HandleWaitable FWriteSource;

  std::mutex FErrorLock;
  DWORD FErrors = 0;  // error flags a read's status query took, for the next ClearErrors
};

Win32SerialDevice::Win32SerialDevice() {
  FEventOverlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  FReadOverlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  FWriteOverlapped.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);  // set: nothing in flight
  FLineSource.SetHandle(Native(FEventOverlapped.hEvent));
  FWriteSource.SetHandle(Native(FWriteOverlapped.hEvent));
}

Win32SerialDevice::~Win32SerialDevice() {
  Close();
  CloseHandle(FEventOverlapped.hEvent);
  CloseHandle(FReadOverlapped.hEvent);
  CloseHandle(FWriteOverlapped.hEvent);
}

int Win32SerialDevice::Handle() const {
  // Kernel handles keep to 32 bits, so the narrowing is the system's own (HandleToLong).
  return IsOpen() ? static_cast<int>(HandleToLong(FPort)) : -1;
}

TOpenResult Win32SerialDevice::Open(int ComNumber) {
  if (IsOpen()) {
    FOpenFailure = "The port is open already.";
    return TOpenResult::Failed;
  }
  const std::string path = ComDevicePath(ComNumber);
  if (path.empty()) {
    FOpenFailure = "COM" + std::to_string(ComNumber) + " is no port number: numbers start at 1.";
    return TOpenResult::Missing;
  }
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    FOpenFailure = win32::OpenErrorReason(ComNumber, error);
    return win32::MeansMissing(error) ? TOpenResult::Missing : TOpenResult::Failed;
  }
  ::DCB settings{};
  settings.DCBlength = sizeof settings;
  if (!GetCommState(port, &settings)) {
    const DWORD error = GetLastError();
    CloseHandle(port);
    FOpenFailure = "COM" + std::to_string(ComNumber) +
                   " is not a serial port (its line settings cannot be read: " + win32::SystemMessage(error) +
                   ").";
    return TOpenResult::Failed;
  }
  SetCommMask(port, 0);
  FPort = port;
  FComNumber = ComNumber;
  FGone = false;
  FEventPending = false;
  FEventMask = 0;
  FEventRetryAt = {};
  FWritePending = false;
  FErrors = 0;
  ResetEvent(FEventOverlapped.hEvent);
  SetEvent(FWriteOverlapped.hEvent);
  win32::HoldPort(ComNumber);
  FOpenFailure.clear();
  return TOpenResult::Opened;
}

// Waits for an operation the close has cancelled, so the system no longer writes into our buffers.
void Win32SerialDevice::FinishPending(OVERLAPPED& Overlapped, bool& Pending) {
  if (!Pending) return;
  DWORD done = 0;
  GetOverlappedResult(FPort, &Overlapped, &done, TRUE);
  Pending = false;
}

bool Win32SerialDevice::Close() {
  if (!IsOpen()) return true;
  SetCommMask(FPort, 0);
  CancelIoEx(FPort, nullptr);  // every thread's operations on the port, not only this thread's
  {
    std::lock_guard lock(FEventLock);
    FinishPending(FEventOverlapped, FEventPending);
    FEventMask = 0;
    ResetEvent(FEventOverlapped.hEvent);
  }
  {
    std::lock_guard lock(FWriteLock);
    FinishPending(FWriteOverlapped, FWritePending);
    SetEvent(FWriteOverlapped.hEvent);
  }
  const bool closed = CloseHandle(FPort) != 0;
  FPort = INVALID_HANDLE_VALUE;
  win32::ReleasePort(FComNumber);
  FComNumber = 0;
  return closed;
}

bool Win32SerialDevice::Failed(DWORD Error) {
  if (MeansGone(Error)) FGone = true;
  return false;
}

void Win32SerialDevice::CheckCancelled() {
  DWORD errors = 0;
  ::COMSTAT stat{};
  if (!ClearCommError(FPort, &errors, &stat)) {
    FGone = true;
    return;
  }
  std::lock_guard lock(FErrorLock);
  FErrors |= errors;
}

bool Win32SerialDevice::SetReadsReturnAtOnce() {
  if (!IsOpen()) return false;
  // MAXDWORD interval with no totals: a read returns at once with what has arrived.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  return SetCommTimeouts(FPort, &timeouts) || Failed(GetLastError());
}

bool Win32SerialDevice::SetQueueSizes(int32_t InSize, int32_t OutSize) {
  if (!IsOpen() || InSize <= 0 || OutSize <= 0) return false;
  return SetupComm(FPort, static_cast<DWORD>(InSize), static_cast<DWORD>(OutSize)) || Failed(GetLastError());
}

// A new mask ends the wait in progress (the system completes it); the next TakeLineEvents waits anew.
bool Win32SerialDevice::SetEventMask(uint32_t Mask) {
  if (!IsOpen()) return false;
  std::lock_guard lock(FEventLock);
  if (!SetCommMask(FPort, Mask)) return Failed(GetLastError());
  FEventMask = Mask;
  FEventRetryAt = {};
  if (Mask != 0 && !FEventPending) {
    uint32_t events = 0;
    ArmEventWait(events);
    if (events) SetEvent(FEventOverlapped.hEvent);
  }
  return true;
}

bool Win32SerialDevice::ApplyLineSettings(const DCB& Dcb) {
  if (!IsOpen()) return false;
  ::DCB old{};
  old.DCBlength = sizeof old;
  if (!GetCommState(FPort, &old)) return Failed(GetLastError());
  ::DCB next{};
  std::memcpy(&next, &Dcb, sizeof next);
  next.DCBlength = sizeof next;
  if (SetCommState(FPort, &next)) return true;
  const DWORD error = GetLastError();
  SetCommState(FPort, &old);
  return Failed(error);
}

bool Win32SerialDevice::ReadLineSettings(DCB& Dcb) {
  if (!IsOpen()) return false;
  ::DCB settings{};
  settings.DCBlength = sizeof settings;
  if (!GetCommState(FPort, &settings)) return Failed(GetLastError());
  std::memcpy(static_cast<void*>(&Dcb), &settings, sizeof Dcb);
  return true;
}

bool Win32SerialDevice::QueueStatus(DWORD& Errors, ::COMSTAT& Stat) {
  Errors = 0;
  Stat = ::COMSTAT{};
  if (!IsOpen() || FGone) return false;
  if (!ClearCommError(FPort, &Errors, &Stat)) return Failed(GetLastError());
  return true;
}

// No handle is signalled by waiting input, so the queue count is looked at every millisecond.
bool Win32SerialDevice::WaitForInput(int TimeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs < 0 ? 0 : TimeoutMs);
  for (;;) {
    DWORD errors = 0;
    ::COMSTAT stat{};
    const bool known = QueueStatus(errors, stat);
    if (known && errors) {
      std::lock_guard lock(FErrorLock);
      FErrors |= errors;
    }
    if (known && stat.cbInQue > 0) return true;
    if (TimeoutMs >= 0 && Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Starts WaitCommEvent until one stays pending; events that complete at once are added to Events. A failed
// start is not repeated before kWaitRetryPause has passed, so a refusing driver never makes a busy loop.
void Win32SerialDevice::ArmEventWait(uint32_t& Events) {
  if (FEventMask == 0 || FGone) {
    ResetEvent(FEventOverlapped.hEvent);
    return;
  }
  if (Clock::now() < FEventRetryAt) return;
  for (int i = 0; i < kImmediateEvents; ++i) {
    FEventBits = 0;
    if (WaitCommEvent(FPort, &FEventBits, &FEventOverlapped)) {
      Events |= FEventBits;
      continue;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      FEventPending = true;
      return;
    }
    ResetEvent(FEventOverlapped.hEvent);
    FEventRetryAt = Clock::now() + kWaitRetryPause;
    if (error == ERROR_OPERATION_ABORTED)
      CheckCancelled();
    else
      Failed(error);
    return;
  }
  // Events keep coming at once: the caller is asked back through the source.
  SetEvent(FEventOverlapped.hEvent);
}

uint32_t Win32SerialDevice::TakeLineEvents() {
  if (!IsOpen() || FGone) return 0;
  std::lock_guard lock(FEventLock);
  uint32_t events = 0;
  if (FEventPending) {
    DWORD unused = 0;
    if (GetOverlappedResult(FPort, &FEventOverlapped, &unused, FALSE)) {
      FEventPending = false;
      events |= FEventBits;
    } else {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_INCOMPLETE) return 0;
      FEventPending = false;
      // A wait ended by a new mask reports cancellation on some drivers; only a dead device is lost.
      if (error == ERROR_OPERATION_ABORTED)
        CheckCancelled();
      else
        Failed(error);
      if (FGone) {
        ResetEvent(FEventOverlapped.hEvent);
        return 0;
      }
    }
  }
  if (!FEventPending) {
    if (!events) ResetEvent(FEventOverlapped.hEvent);
    ArmEventWait(events);
  }
  return events & FEventMask;
}

int32_t Win32SerialDevice::Read(void* Buffer, int32_t Count) {
  if (!IsOpen() || Count < 0) return -1;
  if (Count == 0 || FGone) return 0;
  std::lock_guard lock(FReadLock);
  DWORD errors = 0;
  ::COMSTAT stat{};
  if (!QueueStatus(errors, stat)) return FGone ? 0 : -1;
  if (errors) {
    std::lock_guard errorLock(FErrorLock);
    FErrors |= errors;
  }
  const DWORD wanted = std::min<DWORD>(static_cast<DWORD>(Count), stat.cbInQue);
  if (wanted == 0) return 0;
  DWORD got = 0;
  if (ReadFile(FPort, Buffer, wanted, &got, &FReadOverlapped)) return static_cast<int32_t>(got);
  DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    // The bytes are there, so the read ends at once; one that does not is cancelled, never waited out.
    if (WaitForSingleObject(FReadOverlapped.hEvent, kReadCompletionMs) != WAIT_OBJECT_0) CancelIo(FPort);
    if (GetOverlappedResult(FPort, &FReadOverlapped, &got, TRUE)) return static_cast<int32_t>(got);
    error = GetLastError();
    if (error == ERROR_OPERATION_ABORTED) return static_cast<int32_t>(got);
  }
  Failed(error);
  return FGone ? 0 : -1;
}

int32_t Win32SerialDevice::Write(const void* Buffer, int32_t Count) {
  if (!IsOpen() || FGone || Count < 0) return -1;
  std::lock_guard lock(FWriteLock);
  if (FWritePending) {
    DWORD done = 0;
    if (!GetOverlappedResult(FPort, &FWriteOverlapped, &done, FALSE)) {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_INCOMPLETE) return 0;
      FWritePending = false;
      // A purge cancels the write in flight: its bytes were meant to go.
      if (error != ERROR_OPERATION_ABORTED) {
        Failed(error);
        return -1;
      }
    }
    FWritePending = false;
  }
  if (Count == 0) return 0;
  FWriteBuffer.assign(static_cast<const char*>(Buffer), static_cast<const char*>(Buffer) + Count);
  DWORD written = 0;
  if (WriteFile(FPort, FWriteBuffer.data(), static_cast<DWORD>(Count), &written, &FWriteOverlapped))
    return Count;
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    FWritePending = true;
    return Count;
  }
  SetEvent(FWriteOverlapped.hEvent);
  Failed(error);
  return -1;
}

bool Win32SerialDevice::ClearErrors(uint32_t& Errors, COMSTAT& Stat) {
  Errors = 0;
  Stat = COMSTAT{};
  DWORD errors = 0;
  ::COMSTAT stat{};
  if (!QueueStatus(errors, stat)) return false;
  {
    std::lock_guard lock(FErrorLock);
    errors |= FErrors;
    FErrors = 0;
  }
  Errors = errors & (CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK);
  Stat.Flags = Errors;
  Stat.cbInQue = stat.cbInQue;
  Stat.cbOutQue = stat.cbOutQue;
  return true;
}

bool Win32SerialDevice::Purge(uint32_t Flags) {
  if (!IsOpen()) return false;
  if (Flags == 0) return true;
  return PurgeComm(FPort, Flags) || Failed(GetLastError());
}

bool Win32SerialDevice::Escape(uint32_t Function) {
  if (!IsOpen() || FGone) return false;
  return EscapeCommFunction(FPort, Function) || Failed(GetLastError());
}

}  // namespace

std::unique_ptr<SerialDevice> CreateSerialDevice() {
  return std::make_unique<Win32SerialDevice>();
}

}  // namespace tarnel::platform
