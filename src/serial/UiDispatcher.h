#pragma once

#include <functional>
#include <memory>

namespace tarnel {

// The way onto the user-interface thread: the one thread where the component's events are delivered and
// application errors are shown. The window uses the toolkit's event loop (QtUiDispatcher.cpp); the command
// line and the builds without Qt use a plain queue that the UI thread serves (PlainUiDispatcher.h).
class TUiDispatcher {
 public:
  virtual ~TUiDispatcher() = default;
  // Whether the calling thread is the user-interface thread.
  virtual bool IsUiThread() const = 0;
  // Queues Task to run on the user-interface thread, after what was queued before; false when no such
  // thread will run it (the task is then dropped). Never runs it before returning.
  virtual bool Post(std::function<void()> Task) = 0;
};

// The process's dispatcher: the one installed, else the build's default (the toolkit's where the build
// has Qt, else a plain one whose UI thread is the first that asks).
TUiDispatcher& UiDispatcher();

// Installs Dispatcher for the whole process; null goes back to the default. Done once at start, before any
// port exists.
void SetUiDispatcher(std::shared_ptr<TUiDispatcher> Dispatcher);

// The build's default, defined once per build by the file that provides it.
std::shared_ptr<TUiDispatcher> MakeDefaultUiDispatcher();

}  // namespace tarnel
