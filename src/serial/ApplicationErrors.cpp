#include "serial/ApplicationErrors.h"

#include <cstdio>
#include <mutex>

#include "common/Exception.h"
#include "serial/UiDispatcher.h"

namespace tarnel {
namespace {

std::mutex& HandlerLock() {
  static std::mutex lock;
  return lock;
}

TApplicationExceptionHandler& HandlerSlot() {
  static TApplicationExceptionHandler handler;
  return handler;
}

void WriteToStderr(std::exception_ptr Error) {
  try {
    std::rethrow_exception(Error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Unhandled exception: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Unhandled exception of unknown type\n");
  }
}

}  // namespace

void SetApplicationExceptionHandler(TApplicationExceptionHandler Handler) {
  std::lock_guard<std::mutex> guard(HandlerLock());
  HandlerSlot() = std::move(Handler);
}

void HandleApplicationException(std::exception_ptr Error) {
  if (!Error) return;
  TApplicationExceptionHandler handler;
  {
    std::lock_guard<std::mutex> guard(HandlerLock());
    handler = HandlerSlot();
  }
  if (!handler) return WriteToStderr(Error);
  try {
    handler(Error);
  } catch (...) {
    WriteToStderr(std::current_exception());
  }
}

bool IsSilentAbort(std::exception_ptr Error) {
  try {
    std::rethrow_exception(Error);
  } catch (const EAbort&) {
    return true;
  } catch (...) {
    return false;
  }
}

void ReportToApplication(std::exception_ptr Error) {
  if (!Error || IsSilentAbort(Error)) return;
  if (UiDispatcher().Post([Error] { HandleApplicationException(Error); })) return;
  HandleApplicationException(Error);  // no UI thread to wait for: the handler, or standard error
}

}  // namespace tarnel
