#include "serial/UiDispatcher.h"

#include <mutex>
#include <vector>

namespace tarnel {
namespace {

std::mutex& DispatcherLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<TUiDispatcher>& Installed() {
  static std::shared_ptr<TUiDispatcher> dispatcher;
  return dispatcher;
}

}  // namespace

// The dispatcher lives as long as the process: callers hold a plain reference to it.
TUiDispatcher& UiDispatcher() {
  std::lock_guard lock(DispatcherLock());
  std::shared_ptr<TUiDispatcher>& dispatcher = Installed();
  if (!dispatcher) dispatcher = MakeDefaultUiDispatcher();
  return *dispatcher;
}

void SetUiDispatcher(std::shared_ptr<TUiDispatcher> Dispatcher) {
  static std::vector<std::shared_ptr<TUiDispatcher>> replaced;  // kept: references to them may remain
  std::lock_guard lock(DispatcherLock());
  if (Installed()) replaced.push_back(Installed());
  Installed() = std::move(Dispatcher);
}

}  // namespace tarnel
