#include "serial/platform/Threads.h"

#include <windows.h>

#include <thread>

namespace tarnel::platform {
namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

int WindowsPriority(TThreadPriority Priority) {
  static constexpr int kPriorities[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                        THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                        THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                        THREAD_PRIORITY_TIME_CRITICAL};
  return Priority <= tpTimeCritical ? kPriorities[Priority] : THREAD_PRIORITY_NORMAL;
}

}  // namespace

int CurrentThreadId() {
  return static_cast<int>(GetCurrentThreadId());
}

// The same scale as on POSIX, for callers that show it.
int NiceValue(TThreadPriority Priority) {
  static constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -19};
  return Priority <= tpTimeCritical ? kNice[Priority] : 0;
}

bool SetThreadPriority(int ThreadId, TThreadPriority Priority) {
  if (ThreadId <= 0) return false;
  HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(ThreadId));
  if (!thread) return false;
  const bool set = ::SetThreadPriority(thread, WindowsPriority(Priority)) != 0;
  CloseHandle(thread);
  return set;
}

// A plain sleep ends on the system's timer tick (up to 15.6 ms late); a high-resolution timer, where the
// system has one, ends within a fraction of a millisecond.
void SleepUntil(std::chrono::steady_clock::time_point Until) {
  using Clock = std::chrono::steady_clock;
  HANDLE timer =
      CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
  for (Clock::time_point now = Clock::now(); timer && now < Until; now = Clock::now()) {
    LARGE_INTEGER due;
    // Relative, in units of 100 ns, rounded up.
    due.QuadPart = -((std::chrono::duration_cast<std::chrono::nanoseconds>(Until - now).count() + 99) / 100);
    if (!SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) ||
        WaitForSingleObject(timer, INFINITE) != WAIT_OBJECT_0)
      break;
  }
  if (timer) CloseHandle(timer);
  while (Clock::now() < Until)
    std::this_thread::sleep_until(Until);
}

}  // namespace tarnel::platform
