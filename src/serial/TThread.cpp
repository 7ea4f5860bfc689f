#include "serial/TThread.h"

#include <chrono>

#include "serial/AfSafeSync.h"
#include "serial/ApplicationErrors.h"
#include "serial/UiDispatcher.h"
#include "serial/platform/Threads.h"

namespace tarnel {
namespace {

bool OnUiThread() {
  return UiDispatcher().IsUiThread();
}

// How long the user-interface thread waits before looking for deliveries again.
constexpr auto kServeSlice = std::chrono::milliseconds(5);

}  // namespace

TThread::~TThread() {
  // Owners stop their threads first; joining here only keeps a mistake from ending the program.
  if (FThread.joinable()) {
    Terminate();
    FThread.join();
  }
}

void TThread::Start() {
  FThread = std::thread(&TThread::Run, this);
}

void TThread::Run() {
  FThreadId = platform::CurrentThreadId();
  if (FPriority != tpNormal) platform::SetThreadPriority(FThreadId, FPriority);
  try {
    Execute();
  } catch (...) {
    ReportException(std::current_exception());
  }
  std::lock_guard lock(FDoneLock);
  FDone = true;
  FDoneSignal.notify_all();
}

void TThread::WaitFor() {
  if (!FThread.joinable() || FThread.get_id() == std::this_thread::get_id()) return;
  if (OnUiThread()) {
    std::unique_lock lock(FDoneLock);
    while (!FDoneSignal.wait_for(lock, kServeSlice, [this] { return FDone; })) {
      lock.unlock();
      SafeSyncProcessPending();
      lock.lock();
    }
  }
  FThread.join();
}

void TThread::SetPriority(TThreadPriority Priority) {
  FPriority = Priority;
  if (const int id = FThreadId) platform::SetThreadPriority(id, Priority);
}

void TThread::ReportException(std::exception_ptr Error) {
  ReportToApplication(Error);
}

}  // namespace tarnel
