#include "serial/QtUiDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <deque>
#include <functional>
#include <mutex>

namespace tarnel {
namespace {

const QEvent::Type kTaskEventType = static_cast<QEvent::Type>(QEvent::User + 1);

// Lives in the UI thread; each posted event asks it to run the tasks that wait. The event is made under the
// queue lock by the posting thread; taking that lock before touching the event orders this thread after its
// construction (Qt's own queue locking is invisible to race checkers).
class TTaskReceiver : public QObject {
 public:
  explicit TTaskReceiver(std::mutex& Lock, std::deque<std::function<void()>>& Tasks)
      : FLock(Lock), FTasks(Tasks) {}
  bool event(QEvent* Event) override {
    // Others, such as the thread change sent while the lock is held, are the toolkit's.
    if (Event->type() != kTaskEventType) return QObject::event(Event);
    { std::lock_guard<std::mutex> guard(FLock); }
    std::function<void()> task;
    for (;;) {
      {
        std::lock_guard<std::mutex> guard(FLock);
        if (FTasks.empty()) break;
        task = std::move(FTasks.front());
        FTasks.pop_front();
      }
      task();
      task = nullptr;
    }
    return true;
  }

 private:
  std::mutex& FLock;
  std::deque<std::function<void()>>& FTasks;
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
    std::unique_lock<std::mutex> guard(FLock);
    if (!EnsureReceiver()) return false;
    FTasks.push_back(std::move(Task));
    QObject* target = FReceiver;
    auto* wake = new QEvent(kTaskEventType);
    guard.unlock();
    QCoreApplication::postEvent(target, wake);
    return true;
  }

 private:
  // The receiver is made with the first post and moved to the application's thread; with FLock held.
  bool EnsureReceiver() {
    if (FReceiver) return true;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return false;
    FReceiver = new TTaskReceiver(FLock, FTasks);
    if (FReceiver->thread() != app->thread()) FReceiver->moveToThread(app->thread());
    return true;
  }

  QThread* const FFallbackThread;
  std::mutex FLock;
  std::deque<std::function<void()>> FTasks;
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
