#include "serial/platform/Threads.h"

#include <windows.h>

namespace tarnel::platform {
namespace {

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

}  // namespace tarnel::platform
