#include "FakeSerialDevice.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace tarnel::test {

// Every call goes to the line under its lock, so the core's threads may call from anywhere.
class FakeSerialDevice : public platform::SerialDevice {
 public:
  explicit FakeSerialDevice(FakeLine* Line) : FLine(Line) {}

  platform::TOpenResult Open(int) override {
    FOpen = true;
    return platform::TOpenResult::Opened;
  }
  const std::string& OpenFailure() const override { return FNoFailure; }
  bool Close() override {
    FOpen = false;
    return true;
  }
  int Handle() const override { return FOpen ? FLine->FInputWaiting.PollFd() : -1; }
  bool SetReadsReturnAtOnce() override { return true; }
  bool SetQueueSizes(int32_t, int32_t) override { return true; }
  bool SetEventMask(uint32_t Mask) override {
    FMask = Mask;
    return true;
  }
  bool ApplyLineSettings(const DCB& Dcb) override {
    FDcb = Dcb;
    return true;
  }
  bool ReadLineSettings(DCB& Dcb) override {
    Dcb = FDcb;
    return true;
  }
  platform::Waitable& LineEventSource() override { return FLine->FLineEvent; }
  uint32_t TakeLineEvents() override {
    std::lock_guard lock(FLine->FLock);
    return std::exchange(FLine->FEvents, 0) & FMask;
  }

  int32_t Read(void* Buffer, int32_t Count) override {
    std::lock_guard lock(FLine->FLock);
    if (FLine->FGone) return 0;
    const int32_t n = FLine->LimitFor(std::min<int32_t>(Count, static_cast<int32_t>(FLine->FPending.size())));
    std::memcpy(Buffer, FLine->FPending.data(), static_cast<size_t>(n));
    FLine->FPending.erase(0, static_cast<size_t>(n));
    if (FLine->FPending.empty()) FLine->FInputWaiting.Reset();
    return n;
  }

  int32_t Write(const void* Buffer, int32_t Count) override {
    std::lock_guard lock(FLine->FLock);
    if (FLine->FGone || Count < 0) return -1;
    const int32_t take = FLine->TakeFor(Count);
    if (take == FakeLine::kFails) {
      FLine->FGone = true;
      FLine->FLineEvent.Set();
      return -1;
    }
    if (take == 0) FLine->FWriteReady.Set();  // full only for a moment
    FLine->FWritten.append(static_cast<const char*>(Buffer), static_cast<size_t>(take));
    return take;
  }
  platform::Waitable& WriteReadySource() override { return FLine->FWriteReady; }

  bool ClearErrors(uint32_t& Errors, COMSTAT& Stat) override {
    std::lock_guard lock(FLine->FLock);
    Errors = 0;
    Stat = COMSTAT{};
    Stat.cbInQue = static_cast<uint32_t>(FLine->FPending.size());
    return !FLine->FGone;
  }
  bool Purge(uint32_t Flags) override {
    std::lock_guard lock(FLine->FLock);
    if (Flags & platform::PURGE_TXCLEAR) ++FLine->FOutputPurges;
    if (Flags & platform::PURGE_RXCLEAR) {
      FLine->FPending.clear();
      FLine->FInputWaiting.Reset();
    }
    return true;
  }
  bool Escape(uint32_t) override { return true; }
  bool IsGone() const override {
    std::lock_guard lock(FLine->FLock);
    return FLine->FGone;
  }

 private:
  FakeLine* FLine;
  std::string FNoFailure;
  std::atomic<bool> FOpen{false};
  std::atomic<uint32_t> FMask{0};  // set by the closing thread while the event thread reads it
  DCB FDcb{};
};

void FakeLine::ScriptWrites(std::vector<int32_t> Takes) {
  std::lock_guard lock(FLock);
  FWriteTakes.assign(Takes.begin(), Takes.end());
}

void FakeLine::ScriptReads(std::vector<int32_t> Limits) {
  std::lock_guard lock(FLock);
  FReadLimits.assign(Limits.begin(), Limits.end());
}

void FakeLine::Arrive(const ByteString& Bytes) {
  {
    std::lock_guard lock(FLock);
    FPending += Bytes;
    FEvents |= EV_RXCHAR;
    FInputWaiting.Set();
  }
  FLineEvent.Set();
}

ByteString FakeLine::Written() const {
  std::lock_guard lock(FLock);
  return FWritten;
}

int FakeLine::OutputPurges() const {
  std::lock_guard lock(FLock);
  return FOutputPurges;
}

bool FakeLine::Gone() const {
  std::lock_guard lock(FLock);
  return FGone;
}

int32_t FakeLine::TakeFor(int32_t Count) {
  if (FWriteTakes.empty()) return Count;
  const int32_t take = FWriteTakes.front();
  FWriteTakes.pop_front();
  return take == kFails ? kFails : std::min(take, Count);
}

int32_t FakeLine::LimitFor(int32_t Count) {
  if (FReadLimits.empty()) return Count;
  const int32_t limit = FReadLimits.front();
  FReadLimits.pop_front();
  return std::min(limit, Count);
}

TSerialDeviceFactory FakeLine::Factory() {
  return [this] { return std::make_unique<FakeSerialDevice>(this); };
}

}  // namespace tarnel::test
