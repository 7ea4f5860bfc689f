#include "serial/platform/Threads.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarnel::platform {

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

}  // namespace tarnel::platform
