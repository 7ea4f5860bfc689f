#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tarnel {

// Process-wide service that runs a registered callback on the user-interface thread (the thread of the
// QCoreApplication) and lets a background thread wait for it a bounded time. Exceptions escaping a
// callback go to the application's error display (ApplicationErrors.h), never to the calling thread.

// Receives the slot's position (1..64).
using TSafeSyncCallback = std::function<void(uint32_t Position)>;

// Takes the first free slot, disabled; returns its id (ids start at 1 and are never reused), 0 when all
// 64 slots are taken.
uint32_t SafeSyncRegister(TSafeSyncCallback Callback);

// Frees the slot; true when a slot was freed. Callers waiting in SafeSyncCall on it return false at once.
bool SafeSyncUnregister(uint32_t Id);

// Opens or shuts the slot; true when the slot exists. Shutting it releases callers waiting on it at once.
bool SafeSyncEnable(uint32_t Id, bool Enabled);

// Runs the slot's callback on the UI thread (directly when called there), waiting at most TimeoutMs.
// True when the slot was open before and is still open after the call.
bool SafeSyncCall(uint32_t Id, uint32_t TimeoutMs);

// Runs, on the UI thread, every delivery waiting for it. A UI thread that must block while a background
// thread finishes (stopping a port thread) calls this so that thread is never kept waiting.
void SafeSyncProcessPending();

// The service behind the functions above. The process keeps one (Instance); a separate instance has its own
// slots and ids, which lets its behaviour be checked from a known starting state.
class TSafeSyncService {
 public:
  TSafeSyncService();
  ~TSafeSyncService();
  TSafeSyncService(const TSafeSyncService&) = delete;
  TSafeSyncService& operator=(const TSafeSyncService&) = delete;

  static TSafeSyncService& Instance();

  uint32_t Register(TSafeSyncCallback Callback);
  bool Unregister(uint32_t Id);
  bool Enable(uint32_t Id, bool Enabled);
  bool Call(uint32_t Id, uint32_t TimeoutMs);
  void ProcessPending();

  static constexpr int SlotCount = 64;

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

}  // namespace tarnel
