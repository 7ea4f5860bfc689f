#pragma once

#include <cstdint>
#include <initializer_list>

namespace tarnel::platform {

// What the operating system waits on: a descriptor to poll on POSIX, a kernel object's handle on Windows.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

// Something a thread can wait for with WaitAny: a native handle and, on POSIX, what to poll it for.
class Waitable {
 public:
  virtual ~Waitable() = default;
  virtual NativeHandle WaitHandle() const = 0;
  virtual short PollEvents() const;
  // Called when poll reported the descriptor; false when another waiter took the signal first.
  virtual bool TryAcquire() { return true; }
};

// A handle owned elsewhere; kNoHandle is never signalled, so a wait on it only waits its time.
class HandleWaitable : public Waitable {
 public:
  explicit HandleWaitable(NativeHandle Handle = kNoHandle) : FHandle(Handle) {}
  void SetHandle(NativeHandle Handle) { FHandle = Handle; }
  NativeHandle WaitHandle() const override { return FHandle; }

 private:
  NativeHandle FHandle;
};

// A signalling event: an eventfd on POSIX, so one poll() waits on events and devices together; an event
// object on Windows.
// An auto-reset event is consumed by the one wait that sees it; a manual-reset one stays set until Reset.
class Event : public Waitable {
 public:
  enum class Kind { AutoReset, ManualReset };
  explicit Event(Kind ResetKind, bool InitiallySet = false);
  ~Event() override;
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;        // looks without consuming
  bool Wait(int TimeoutMs);  // true when signalled within the time; < 0 waits without limit

  NativeHandle WaitHandle() const override { return FHandle; }
  // The handle as a plain int: the descriptor on POSIX (for callers that poll it with their own).
  int PollFd() const { return static_cast<int>(FHandle); }
  bool TryAcquire() override;

 private:
  NativeHandle FHandle;
  Kind FKind;
};

inline constexpr int kWaitTimeout = -1;

// Waits until one of Items is signalled and returns its index; when several are, the first in set order
// wins. kWaitTimeout when TimeoutMs passes first (< 0 waits without limit).
int WaitAny(std::initializer_list<Waitable*> Items, int TimeoutMs);

}  // namespace tarnel::platform
