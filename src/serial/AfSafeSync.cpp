#include "serial/AfSafeSync.h"

#include "serial/ApplicationErrors.h"
#include "serial/UiDispatcher.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <vector>

namespace tarnel {

namespace {

enum class TDeliveryState { Pending, Running, Done, Abandoned };

// One SafeSyncCall waiting for the UI thread. Guarded by the service lock.
struct TDelivery {
  explicit TDelivery(uint32_t AId) : Id(AId) {}
  uint32_t Id;
  TDeliveryState State = TDeliveryState::Pending;
  bool Released = false;  // the slot was shut or freed while the caller waited
  std::condition_variable Finished;
};
using TDeliveryPtr = std::shared_ptr<TDelivery>;

struct TSlot {
  bool Enabled = false;
  TSafeSyncCallback Callback;  // empty marks a free slot
  uint32_t Id = 0;
};

// Runs a callback on the UI thread; what escapes it goes to the application's handler, never further.
std::exception_ptr RunCallback(const TSafeSyncCallback& Callback, uint32_t Position) {
  try {
    Callback(Position);
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

}  // namespace

struct TSafeSyncService::Impl {
  std::mutex Lock;
  std::array<TSlot, SlotCount> Slots;
  uint32_t LastId = 0;
  TUiDispatcher* Dispatcher = nullptr;  // the way onto the UI thread, from the first registration on
  std::deque<TDeliveryPtr> Queue;       // deliveries for the UI thread, oldest first
  std::vector<TDeliveryPtr> Waiting;    // deliveries whose callers still wait

  int FindSlot(uint32_t Id) const {
    if (Id == 0) return -1;
    for (int i = 0; i < SlotCount; ++i)
      if (Slots[i].Id == Id && Slots[i].Callback) return i;
    return -1;
  }

  bool IsOpen(uint32_t Id) const {
    int index = FindSlot(Id);
    return index >= 0 && Slots[index].Enabled;
  }

  void EnsureReady() {
    if (!Dispatcher) Dispatcher = &UiDispatcher();
  }

  bool OnUiThread() const { return Dispatcher && Dispatcher->IsUiThread(); }

  void RemoveQueued(const TDeliveryPtr& Item) {
    Queue.erase(std::remove(Queue.begin(), Queue.end(), Item), Queue.end());
  }

  // Lets every caller waiting on the slot go at once; deliveries not yet started will never run.
  void ReleaseWaiters(uint32_t Id) {
    for (const TDeliveryPtr& item : Waiting) {
      if (item->Id != Id) continue;
      item->Released = true;
      if (item->State == TDeliveryState::Pending) {
        item->State = TDeliveryState::Abandoned;
        RemoveQueued(item);
      }
      item->Finished.notify_all();
    }
  }

  // Takes the next delivery that may run and marks it running; false when none is left.
  bool TakeNext(TDeliveryPtr& Item, TSafeSyncCallback& Callback, uint32_t& Position) {
    while (!Queue.empty()) {
      Item = Queue.front();
      Queue.pop_front();
      if (Item->State != TDeliveryState::Pending) continue;
      int index = FindSlot(Item->Id);
      if (index < 0 || !Slots[index].Enabled) {
        Item->State = TDeliveryState::Abandoned;
        continue;
      }
      Item->State = TDeliveryState::Running;
      Callback = Slots[index].Callback;
      Position = static_cast<uint32_t>(index + 1);
      return true;
    }
    return false;
  }

  bool CallDirect(uint32_t Id, std::unique_lock<std::mutex>& Guard);
  bool CallQueued(TSafeSyncService* Service, uint32_t Id, uint32_t TimeoutMs,
                  std::unique_lock<std::mutex>& Guard);
  // The service outlives every delivery it posts: the process's lives to the end, a separate one is
  // flushed before it goes.
  std::shared_ptr<std::atomic<bool>> Alive = std::make_shared<std::atomic<bool>>(true);
};

TSafeSyncService::TSafeSyncService() : d(std::make_unique<Impl>()) {}

TSafeSyncService::~TSafeSyncService() {
  std::lock_guard<std::mutex> guard(d->Lock);
  *d->Alive = false;
}

TSafeSyncService& TSafeSyncService::Instance() {
  static TSafeSyncService service;
  return service;
}

uint32_t TSafeSyncService::Register(TSafeSyncCallback Callback) {
  if (!Callback) return 0;
  std::lock_guard<std::mutex> guard(d->Lock);
  d->EnsureReady();
  for (TSlot& slot : d->Slots) {
    if (slot.Callback) continue;
    slot.Enabled = false;
    slot.Callback = std::move(Callback);
    slot.Id = ++d->LastId;
    return slot.Id;
  }
  return 0;
}

bool TSafeSyncService::Unregister(uint32_t Id) {
  TSafeSyncCallback dropped;  // destroyed after the lock is released
  std::lock_guard<std::mutex> guard(d->Lock);
  int index = d->FindSlot(Id);
  if (index < 0) return false;
  dropped = std::move(d->Slots[index].Callback);
  d->Slots[index] = TSlot{};
  d->ReleaseWaiters(Id);
  return true;
}

bool TSafeSyncService::Enable(uint32_t Id, bool Enabled) {
  std::lock_guard<std::mutex> guard(d->Lock);
  int index = d->FindSlot(Id);
  if (index < 0) return false;
  d->Slots[index].Enabled = Enabled;
  if (!Enabled) d->ReleaseWaiters(Id);
  return true;
}

bool TSafeSyncService::Call(uint32_t Id, uint32_t TimeoutMs) {
  std::unique_lock<std::mutex> guard(d->Lock);
  if (!d->IsOpen(Id)) return false;
  if (d->OnUiThread()) return d->CallDirect(Id, guard);
  return d->CallQueued(this, Id, TimeoutMs, guard);
}

bool TSafeSyncService::Impl::CallDirect(uint32_t Id, std::unique_lock<std::mutex>& Guard) {
  int index = FindSlot(Id);
  TSafeSyncCallback callback = Slots[index].Callback;
  Guard.unlock();
  std::exception_ptr error = RunCallback(callback, static_cast<uint32_t>(index + 1));
  if (error) HandleApplicationException(error);
  Guard.lock();
  return IsOpen(Id);
}

bool TSafeSyncService::Impl::CallQueued(TSafeSyncService* Service, uint32_t Id, uint32_t TimeoutMs,
                                        std::unique_lock<std::mutex>& Guard) {
  auto item = std::make_shared<TDelivery>(Id);
  Queue.push_back(item);
  Waiting.push_back(item);
  TUiDispatcher* dispatcher = Dispatcher;
  std::shared_ptr<std::atomic<bool>> alive = Alive;
  Guard.unlock();
  const bool posted = dispatcher->Post([Service, alive] {
    if (*alive) Service->ProcessPending();
  });
  Guard.lock();
  if (!posted) TimeoutMs = 0;  // no UI thread will run it
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  item->Finished.wait_until(Guard, deadline,
                            [&] { return item->State == TDeliveryState::Done || item->Released; });
  if (item->State == TDeliveryState::Pending) {
    // Given up: the stored event data may change from now on, so the delivery must not run later.
    item->State = TDeliveryState::Abandoned;
    RemoveQueued(item);
  }
  Waiting.erase(std::remove(Waiting.begin(), Waiting.end(), item), Waiting.end());
  return !item->Released && IsOpen(Id);
}

void TSafeSyncService::ProcessPending() {
  std::unique_lock<std::mutex> guard(d->Lock);
  if (!d->OnUiThread()) return;
  TDeliveryPtr item;
  TSafeSyncCallback callback;
  uint32_t position = 0;
  while (d->TakeNext(item, callback, position)) {
    guard.unlock();
    std::exception_ptr error = RunCallback(callback, position);
    callback = nullptr;
    guard.lock();
    item->State = TDeliveryState::Done;
    item->Finished.notify_all();
    if (!error) continue;
    // The caller is free to go before the handler shows anything.
    guard.unlock();
    HandleApplicationException(error);
    guard.lock();
  }
}

uint32_t SafeSyncRegister(TSafeSyncCallback Callback) {
  return TSafeSyncService::Instance().Register(std::move(Callback));
}

bool SafeSyncUnregister(uint32_t Id) {
  return TSafeSyncService::Instance().Unregister(Id);
}

bool SafeSyncEnable(uint32_t Id, bool Enabled) {
  return TSafeSyncService::Instance().Enable(Id, Enabled);
}

bool SafeSyncCall(uint32_t Id, uint32_t TimeoutMs) {
  return TSafeSyncService::Instance().Call(Id, TimeoutMs);
}

void SafeSyncProcessPending() {
  TSafeSyncService::Instance().ProcessPending();
}

}  // namespace tarnel
