#include "serial/QtUiDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace tarnel {
namespace {

const QEvent::Type kTaskEventType = static_cast<QEvent::Type>(QEvent::User + 1);

// What the posting threads and the receiver share; the receiver may outlive the dispatcher (deleteLater).
struct TTaskQueue {
  std::mutex Lock;
  std::deque<std::function<void()>> Tasks;
};

// Held while a receiver is made and moved to the UI thread (recursive: the move sends the new receiver an
// event on the same thread). A receiver takes it once before its first look at itself, which orders the UI
// thread after the construction on the posting thread; Qt's own locking is invisible to race checkers.
std::recursive_mutex& ReceiverCreation() {
  static std::recursive_mutex lock;
  return lock;
}

// Lives in the UI thread; each posted event asks it to run the tasks that wait.
class TTaskReceiver : public QObject {
 public:
  explicit TTaskReceiver(std::shared_ptr<TTaskQueue> Queue) : FQueue(std::move(Queue)) {}
  bool event(QEvent* Event) override {
    { std::lock_guard<std::recursive_mutex> made(ReceiverCreation()); }
    // The lock before the event is touched: the posting thread made the event under it, so taking it orders
    // this thread after that construction (Qt's own queue locking is invisible to race checkers).
    std::unique_lock<std::mutex> guard(FQueue->Lock);
    if (Event->type() != kTaskEventType) {
      guard.unlock();
      return QObject::event(Event);
    }
    while (!FQueue->Tasks.empty()) {
      std::function<void()> task = std::move(FQueue->Tasks.front());
      FQueue->Tasks.pop_front();
      guard.unlock();
      task();
      task = nullptr;
      guard.lock();
    }
    return true;
  }

 private:
  std::shared_ptr<TTaskQueue> FQueue;
};

class TQtUiDispatcher : public TUiDispatcher {
 public:
  TQtUiDispatcher() : FFallbackThread(QThread::currentThread()) {}
  ~TQtUiDispatcher() override {
    if (!FReceiver) return;
    if (IsUiThread() || !QCoreApplication::instance())
      delete FReceiver;
    else
      FReceiver->deleteLater();
  }

  // Without an application object the thread that made the dispatcher stands in for the UI thread.
  bool IsUiThread() const override {
    QCoreApplication* app = QCoreApplication::instance();
    return QThread::currentThread() == (app ? app->thread() : FFallbackThread);
  }

  bool Post(std::function<void()> Task) override {
    if (!Task) return false;
    QObject* target = Receiver();
    if (!target) return false;
    QEvent* wake = nullptr;
    {
      std::lock_guard<std::mutex> guard(FQueue->Lock);
      FQueue->Tasks.push_back(std::move(Task));
      wake = new QEvent(kTaskEventType);
    }
    QCoreApplication::postEvent(target, wake);
    return true;
  }

 private:
  // Made with the first post and moved to the application's thread. Not under the queue lock: the move
  // sends the receiver an event, which takes it.
  QObject* Receiver() {
    std::lock_guard<std::recursive_mutex> guard(ReceiverCreation());
    if (FReceiver) return FReceiver;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return nullptr;
    FReceiver = new TTaskReceiver(FQueue);
    if (FReceiver->thread() != app->thread()) FReceiver->moveToThread(app->thread());
    return FReceiver;
  }

  QThread* const FFallbackThread;
  const std::shared_ptr<TTaskQueue> FQueue = std::make_shared<TTaskQueue>();
  TTaskReceiver* FReceiver = nullptr;
};

}  // namespace

std::shared_ptr<TUiDispatcher> MakeQtUiDispatcher() {
  return std::make_shared<TQtUiDispatcher>();
}

// The build with Qt: the window's event loop.
std::shared_ptr<TUiDispatcher> MakeDefaultUiDispatcher() {
  return MakeQtUiDispatcher();
}

}  // namespace tarnel
