#pragma once

#include <cstdint>
#include <initializer_list>

namespace tarnel::platform {

// Something a thread can wait for with WaitAny: a descriptor to poll and what to poll it for.
class Waitable {
 public:
  virtual ~Waitable() = default;
  virtual int PollFd() const = 0;
  virtual short PollEvents() const;
  // Called when poll reported the descriptor; false when another waiter took the signal first.
  virtual bool TryAcquire() { return true; }
};

// A signalling event backed by an eventfd, so one poll() waits on events and devices together.
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

  int PollFd() const override { return FFd; }
  bool TryAcquire() override;

 private:
  int FFd;
  Kind FKind;
};

inline constexpr int kWaitTimeout = -1;

// Waits until one of Items is signalled and returns its index; when several are, the first in set order
// wins. kWaitTimeout when TimeoutMs passes first (< 0 waits without limit).
int WaitAny(std::initializer_list<Waitable*> Items, int TimeoutMs);

}  // namespace tarnel::platform
