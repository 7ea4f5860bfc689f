#pragma once

#include <linux/serial.h>

#include <atomic>
#include <mutex>

#include "serial/platform/SerialDevice.h"

namespace tarnel::platform {

// A descriptor to poll for one kind of readiness.
class FdWaitable : public Waitable {
 public:
  explicit FdWaitable(short Events) : FEvents(Events) {}
  void SetFd(int Fd) { FFd = Fd; }
  NativeHandle WaitHandle() const override { return FFd; }
  short PollEvents() const override { return FEvents; }

 private:
  int FFd = -1;
  short FEvents;
};

// A terminal device through termios2, epoll and the serial ioctls.
class PosixSerialDevice : public SerialDevice {
 public:
  PosixSerialDevice();
  ~PosixSerialDevice() override;

  TOpenResult Open(int ComNumber) override;
  const std::string& OpenFailure() const override { return FOpenFailure; }
  bool Close() override;
  int Handle() const override { return FFd; }
  bool SetReadsReturnAtOnce() override;
  bool SetQueueSizes(int32_t InSize, int32_t OutSize) override;
  bool SetEventMask(uint32_t Mask) override;
  bool ApplyLineSettings(const DCB& Dcb) override;
  bool ReadLineSettings(DCB& Dcb) override;
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
  bool Prepare();
  // Notes a failure; errors that mean the device went away mark it gone. Returns false for the caller.
  bool Failed(int Error);
  void MarkGone();
  bool ModemLines(int& Lines);
  bool Counters(serial_icounter_struct& Counts);
  bool OptionalQuery(bool& Supported, unsigned long Request, void* Result);
  uint32_t ModemEvents();
  uint32_t ErrorEvents();
  void TakeBaselines();
  void SetModemLine(int Line, bool Raised);

  int FFd = -1;
  int FEpoll = -1;
  FdWaitable FLineSource{0x001};   // POLLIN on the epoll descriptor
  FdWaitable FWriteSource{0x004};  // POLLOUT on the device
  std::atomic<bool> FGone{false};
  std::atomic<uint32_t> FEventMask{0};
  std::string FOpenFailure;

  std::mutex FStateLock;  // guards everything below
  DCB FApplied{};         // the last settings that took, for the fields termios has no place for
  bool FHasModemLines = true;
  bool FHasCounters = true;
  int FModemBaseline = 0;
  serial_icounter_struct FEventCounts{};  // what line events were last reported against
  serial_icounter_struct FErrorCounts{};  // what ClearErrors last reported against
};

}  // namespace tarnel::platform
