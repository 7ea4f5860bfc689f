#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "serial/UiDispatcher.h"

namespace tarnel {

// A dispatcher without a toolkit: posted tasks wait in a queue until the user-interface thread (the one
// that made the dispatcher, or the one named) serves them with RunPending or RunFor.
class TPlainUiDispatcher : public TUiDispatcher {
 public:
  TPlainUiDispatcher() : FUiThread(std::this_thread::get_id()) {}
  explicit TPlainUiDispatcher(std::thread::id UiThread) : FUiThread(UiThread) {}

  bool IsUiThread() const override { return std::this_thread::get_id() == FUiThread; }
  bool Post(std::function<void()> Task) override;

  // On the UI thread: runs every task queued so far (and those they queue); returns how many ran. Elsewhere
  // it runs nothing.
  int RunPending();
  // On the UI thread: serves the queue until TimeoutMs has passed, running each task as it comes.
  void RunFor(int TimeoutMs);

 private:
  bool TakeNext(std::function<void()>& Task);

  const std::thread::id FUiThread;
  std::mutex FLock;
  std::condition_variable FQueued;
  std::deque<std::function<void()>> FTasks;
};

}  // namespace tarnel
