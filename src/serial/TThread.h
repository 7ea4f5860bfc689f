#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "serial/AfComPortTypes.h"

namespace tarnel {

// A worker thread in the manner the port threads expect: a body, a terminated flag the body watches,
// a priority, and a wait for the end that keeps the user-interface thread serving deliveries.
class TThread {
 public:
  TThread() = default;
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts the body; throws std::system_error when no thread can be created.
  void Start();
  // Only sets the flag; the body ends at its next look.
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  // Blocks until the body has returned. On the user-interface thread it keeps running pending deliveries,
  // so a thread that hands something to that thread while being stopped still ends at once.
  void WaitFor();

  TThreadPriority Priority() const { return FPriority; }
  void SetPriority(TThreadPriority Priority);
  int ThreadId() const { return FThreadId; }  // the kernel's id once running, else 0

 protected:
  virtual void Execute() = 0;
  // An exception escaped the body, which has ended.
  virtual void ReportException(std::exception_ptr Error);

 private:
  void Run();

  std::thread FThread;
  std::atomic<bool> FTerminated{false};
  std::atomic<int> FThreadId{0};
  std::atomic<TThreadPriority> FPriority{tpNormal};
  std::mutex FDoneLock;
  std::condition_variable FDoneSignal;
  bool FDone = false;
};

}  // namespace tarnel
