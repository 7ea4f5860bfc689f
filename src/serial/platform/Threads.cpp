#include "serial/platform/Threads.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace tarnel::platform {
namespace {

// A thread's timers may fire up to its slack late (50 us by default) so that wake-ups bundle; a pause
// whose length matters takes 1 us for its own sleep.
constexpr unsigned long kPauseSlackNs = 1000;

}  // namespace

int CurrentThreadId() {
  return static_cast<int>(syscall(SYS_gettid));
}

int NiceValue(TThreadPriority Priority) {
  static constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -19};
  return Priority <= tpTimeCritical ? kNice[Priority] : 0;
}

bool SetThreadPriority(int ThreadId, TThreadPriority Priority) {
  if (ThreadId <= 0) return false;
  return setpriority(PRIO_PROCESS, static_cast<id_t>(ThreadId), NiceValue(Priority)) == 0;
}

void SleepUntil(std::chrono::steady_clock::time_point Until) {
  const int slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  const bool lowered = slack > 0 && static_cast<unsigned long>(slack) > kPauseSlackNs &&
                       prctl(PR_SET_TIMERSLACK, kPauseSlackNs, 0, 0, 0) == 0;
  while (std::chrono::steady_clock::now() < Until)
    std::this_thread::sleep_until(Until);
  if (lowered) prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0, 0, 0);
}

}  // namespace tarnel::platform
