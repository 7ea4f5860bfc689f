#include "serial/PlainUiDispatcher.h"

#include <chrono>

namespace tarnel {

bool TPlainUiDispatcher::Post(std::function<void()> Task) {
  if (!Task) return false;
  {
    std::lock_guard lock(FLock);
    FTasks.push_back(std::move(Task));
  }
  FQueued.notify_all();
  return true;
}

bool TPlainUiDispatcher::TakeNext(std::function<void()>& Task) {
  std::lock_guard lock(FLock);
  if (FTasks.empty()) return false;
  Task = std::move(FTasks.front());
  FTasks.pop_front();
  return true;
}

int TPlainUiDispatcher::RunPending() {
  if (!IsUiThread()) return 0;
  int ran = 0;
  std::function<void()> task;
  while (TakeNext(task)) {
    task();
    task = nullptr;  // what it captured goes here, on this thread
    ++ran;
  }
  return ran;
}

void TPlainUiDispatcher::RunFor(int TimeoutMs) {
  if (!IsUiThread()) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    RunPending();
    std::unique_lock lock(FLock);
    if (!FQueued.wait_until(lock, deadline, [this] { return !FTasks.empty(); })) return;
  }
}

}  // namespace tarnel
