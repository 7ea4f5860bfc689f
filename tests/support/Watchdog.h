#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace tarnel::test {

// Ends the whole run when a step hangs, instead of leaving it to the runner's time-out.
class Watchdog {
 public:
  Watchdog(std::chrono::seconds Limit, const char* What)
      : FThread([this, Limit, What] {
          std::unique_lock lock(FLock);
          if (!FDoneSignal.wait_for(lock, Limit, [this] { return FDone; })) {
            std::fprintf(stderr, "%s\n", What);
            std::_Exit(1);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(FLock);
      FDone = true;
    }
    FDoneSignal.notify_all();
    FThread.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex FLock;
  std::condition_variable FDoneSignal;
  bool FDone = false;
  std::thread FThread;
};

}  // namespace tarnel::test
