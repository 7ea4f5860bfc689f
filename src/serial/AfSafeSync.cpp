#include "serial/AfSafeSync.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <vector>

namespace tarnel {

namespace {

const QEvent::Type DeliveryEventType = static_cast<QEvent::Type>(QEvent::User + 1);

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

// Lives in the UI thread; each posted event asks it to run the deliveries that wait.
// The event is made under the service lock by the posting thread; taking that lock before touching the event
// orders this thread after its construction (Qt's own queue locking is invisible to race checkers).
class TDeliveryObject : public QObject {
 public:
  TDeliveryObject(TSafeSyncService* Service, std::mutex& Lock) : FService(Service), FLock(Lock) {}
  bool event(QEvent* Event) override {
    { std::lock_guard<std::mutex> Guard(FLock); }
    if (Event->type() != DeliveryEventType) return QObject::event(Event);
    FService->ProcessPending();
    return true;
  }

 private:
  TSafeSyncService* FService;
  std::mutex& FLock;
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

std::mutex& HandlerLock() {
  static std::mutex Lock;
  return Lock;
}

TApplicationExceptionHandler& HandlerSlot() {
  static TApplicationExceptionHandler Handler;
  return Handler;
}

void WriteToStderr(std::exception_ptr Error) {
  try {
    std::rethrow_exception(Error);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "Unhandled exception: %s\n", E.what());
  } catch (...) {
    std::fprintf(stderr, "Unhandled exception of unknown type\n");
  }
}

}  // namespace

struct TSafeSyncService::Impl {
  std::mutex Lock;
  std::array<TSlot, SlotCount> Slots;
  uint32_t LastId = 0;
  QThread* UiThread = nullptr;          // set once with the delivery object, never changed
  TDeliveryObject* Delivery = nullptr;  // null until the first registration
  std::deque<TDeliveryPtr> Queue;       // deliveries for the UI thread, oldest first
  std::vector<TDeliveryPtr> Waiting;    // deliveries whose callers still wait

  int FindSlot(uint32_t Id) const {
    if (Id == 0) return -1;
    for (int I = 0; I < SlotCount; ++I)
      if (Slots[I].Id == Id && Slots[I].Callback) return I;
    return -1;
  }

  bool IsOpen(uint32_t Id) const {
    int Index = FindSlot(Id);
    return Index >= 0 && Slots[Index].Enabled;
  }

  void EnsureReady(TSafeSyncService* Service) {
    if (Delivery) return;
    QCoreApplication* App = QCoreApplication::instance();
    UiThread = App ? App->thread() : QThread::currentThread();
    Delivery = new TDeliveryObject(Service, Lock);
    if (Delivery->thread() != UiThread) Delivery->moveToThread(UiThread);
  }

  bool OnUiThread() const { return UiThread && QThread::currentThread() == UiThread; }

  void RemoveQueued(const TDeliveryPtr& Item) {
    Queue.erase(std::remove(Queue.begin(), Queue.end(), Item), Queue.end());
  }

  // Lets every caller waiting on the slot go at once; deliveries not yet started will never run.
  void ReleaseWaiters(uint32_t Id) {
    for (const TDeliveryPtr& Item : Waiting) {
      if (Item->Id != Id) continue;
      Item->Released = true;
      if (Item->State == TDeliveryState::Pending) {
        Item->State = TDeliveryState::Abandoned;
        RemoveQueued(Item);
      }
      Item->Finished.notify_all();
    }
  }

  // Takes the next delivery that may run and marks it running; false when none is left.
  bool TakeNext(TDeliveryPtr& Item, TSafeSyncCallback& Callback, uint32_t& Position) {
    while (!Queue.empty()) {
      Item = Queue.front();
      Queue.pop_front();
      if (Item->State != TDeliveryState::Pending) continue;
      int Index = FindSlot(Item->Id);
      if (Index < 0 || !Slots[Index].Enabled) {
        Item->State = TDeliveryState::Abandoned;
        continue;
      }
      Item->State = TDeliveryState::Running;
      Callback = Slots[Index].Callback;
      Position = static_cast<uint32_t>(Index + 1);
      return true;
    }
    return false;
  }

  bool CallDirect(uint32_t Id, std::unique_lock<std::mutex>& Guard);
  bool CallQueued(uint32_t Id, uint32_t TimeoutMs, std::unique_lock<std::mutex>& Guard);
};

TSafeSyncService::TSafeSyncService() : d(std::make_unique<Impl>()) {}

TSafeSyncService::~TSafeSyncService() {
  if (!d->Delivery) return;
  if (d->OnUiThread() || !QCoreApplication::instance())
    delete d->Delivery;
  else
    d->Delivery->deleteLater();
}

TSafeSyncService& TSafeSyncService::Instance() {
  static TSafeSyncService Service;
  return Service;
}

uint32_t TSafeSyncService::Register(TSafeSyncCallback Callback) {
  if (!Callback) return 0;
  std::lock_guard<std::mutex> Guard(d->Lock);
  d->EnsureReady(this);
  for (TSlot& Slot : d->Slots) {
    if (Slot.Callback) continue;
    Slot.Enabled = false;
    Slot.Callback = std::move(Callback);
    Slot.Id = ++d->LastId;
    return Slot.Id;
  }
  return 0;
}

bool TSafeSyncService::Unregister(uint32_t Id) {
  TSafeSyncCallback Dropped;  // destroyed after the lock is released
  std::lock_guard<std::mutex> Guard(d->Lock);
  int Index = d->FindSlot(Id);
  if (Index < 0) return false;
  Dropped = std::move(d->Slots[Index].Callback);
  d->Slots[Index] = TSlot{};
  d->ReleaseWaiters(Id);
  return true;
}

bool TSafeSyncService::Enable(uint32_t Id, bool Enabled) {
  std::lock_guard<std::mutex> Guard(d->Lock);
  int Index = d->FindSlot(Id);
  if (Index < 0) return false;
  d->Slots[Index].Enabled = Enabled;
  if (!Enabled) d->ReleaseWaiters(Id);
  return true;
}

bool TSafeSyncService::Call(uint32_t Id, uint32_t TimeoutMs) {
  std::unique_lock<std::mutex> Guard(d->Lock);
  if (!d->IsOpen(Id)) return false;
  if (d->OnUiThread()) return d->CallDirect(Id, Guard);
  return d->CallQueued(Id, TimeoutMs, Guard);
}

bool TSafeSyncService::Impl::CallDirect(uint32_t Id, std::unique_lock<std::mutex>& Guard) {
  int Index = FindSlot(Id);
  TSafeSyncCallback Callback = Slots[Index].Callback;
  Guard.unlock();
  std::exception_ptr Error = RunCallback(Callback, static_cast<uint32_t>(Index + 1));
  if (Error) HandleApplicationException(Error);
  Guard.lock();
  return IsOpen(Id);
}

bool TSafeSyncService::Impl::CallQueued(uint32_t Id, uint32_t TimeoutMs,
                                        std::unique_lock<std::mutex>& Guard) {
  auto Item = std::make_shared<TDelivery>(Id);
  Queue.push_back(Item);
  Waiting.push_back(Item);
  QObject* Target = Delivery;
  auto* Wake = new QEvent(DeliveryEventType);
  Guard.unlock();
  QCoreApplication::postEvent(Target, Wake);
  Guard.lock();
  auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  Item->Finished.wait_until(Guard, Deadline,
                            [&] { return Item->State == TDeliveryState::Done || Item->Released; });
  if (Item->State == TDeliveryState::Pending) {
    // Given up: the stored event data may change from now on, so the delivery must not run later.
    Item->State = TDeliveryState::Abandoned;
    RemoveQueued(Item);
  }
  Waiting.erase(std::remove(Waiting.begin(), Waiting.end(), Item), Waiting.end());
  return !Item->Released && IsOpen(Id);
}

void TSafeSyncService::ProcessPending() {
  std::unique_lock<std::mutex> Guard(d->Lock);
  if (!d->OnUiThread()) return;
  TDeliveryPtr Item;
  TSafeSyncCallback Callback;
  uint32_t Position = 0;
  while (d->TakeNext(Item, Callback, Position)) {
    Guard.unlock();
    std::exception_ptr Error = RunCallback(Callback, Position);
    Callback = nullptr;
    Guard.lock();
    Item->State = TDeliveryState::Done;
    Item->Finished.notify_all();
    if (!Error) continue;
    // The caller is free to go before the handler shows anything.
    Guard.unlock();
    HandleApplicationException(Error);
    Guard.lock();
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

void SetApplicationExceptionHandler(TApplicationExceptionHandler Handler) {
  std::lock_guard<std::mutex> Guard(HandlerLock());
  HandlerSlot() = std::move(Handler);
}

void HandleApplicationException(std::exception_ptr Error) {
  if (!Error) return;
  TApplicationExceptionHandler Handler;
  {
    std::lock_guard<std::mutex> Guard(HandlerLock());
    Handler = HandlerSlot();
  }
  if (!Handler) return WriteToStderr(Error);
  try {
    Handler(Error);
  } catch (...) {
    WriteToStderr(std::current_exception());
  }
}

}  // namespace tarnel
