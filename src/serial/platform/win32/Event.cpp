#include "serial/platform/Event.h"

#include <windows.h>

#include <chrono>
#include <system_error>
#include <thread>

namespace tarnel::platform {
namespace {

HANDLE AsHandle(NativeHandle Handle) {
  return reinterpret_cast<HANDLE>(Handle);
}

using Clock = std::chrono::steady_clock;

DWORD Remaining(Clock::time_point Deadline, int TimeoutMs) {
  if (TimeoutMs < 0) return INFINITE;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - Clock::now()).count();
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

}  // namespace

short Waitable::PollEvents() const {
  return 0;
}

Event::Event(Kind ResetKind, bool InitiallySet)
    : FHandle(reinterpret_cast<NativeHandle>(
          CreateEventW(nullptr, ResetKind == Kind::ManualReset, InitiallySet, nullptr))),
      FKind(ResetKind) {
  if (FHandle == 0)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreateEvent");
}

Event::~Event() {
  CloseHandle(AsHandle(FHandle));
}

void Event::Set() {
  SetEvent(AsHandle(FHandle));
}

void Event::Reset() {
  ResetEvent(AsHandle(FHandle));
}

// An auto-reset event is consumed by looking, so a set one is set again.
bool Event::IsSet() const {
  if (WaitForSingleObject(AsHandle(FHandle), 0) != WAIT_OBJECT_0) return false;
  if (FKind == Kind::AutoReset) SetEvent(AsHandle(FHandle));
  return true;
}

// The wait that reported the event has already consumed it.
bool Event::TryAcquire() {
  return true;
}

bool Event::Wait(int TimeoutMs) {
  return WaitAny({this}, TimeoutMs) == 0;
}

// WaitForMultipleObjects reports the lowest signalled index, which is the set order asked for. Items
// without a handle are left out; when none has one, only the time passes.
int WaitAny(std::initializer_list<Waitable*> Items, int TimeoutMs) {
  constexpr size_t kMaxItems = 8;
  HANDLE handles[kMaxItems];
  int indexOf[kMaxItems];
  DWORD count = 0;
  int index = 0;
  for (Waitable* item : Items) {
    if (count == kMaxItems) break;
    if (item->WaitHandle() != kNoHandle && item->WaitHandle() != 0) {
      handles[count] = AsHandle(item->WaitHandle());
      indexOf[count++] = index;
    }
    ++index;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs < 0 ? 0 : TimeoutMs);
  for (;;) {
    const DWORD timeout = Remaining(deadline, TimeoutMs);
    if (count == 0) {
      Sleep(timeout);
      return kWaitTimeout;
    }
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, timeout);
    if (result < WAIT_OBJECT_0 + count) return indexOf[result - WAIT_OBJECT_0];
    if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count)
      return indexOf[result - WAIT_ABANDONED_0];
    if (result == WAIT_TIMEOUT || timeout == 0) return kWaitTimeout;
    // A failed wait (a handle closed under it) is tried again shortly, never at once in a loop.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace tarnel::platform
