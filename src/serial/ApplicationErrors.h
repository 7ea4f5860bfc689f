#pragma once

#include <exception>
#include <functional>

namespace tarnel {

// Where exceptions go that no caller can take: those escaping a delivery, a port thread or an event
// handler. They reach the application's error display on the user-interface thread; without a handler
// they are written to standard error.
using TApplicationExceptionHandler = std::function<void(std::exception_ptr)>;
void SetApplicationExceptionHandler(TApplicationExceptionHandler Handler);
// Hands Error to the handler here and now; what escapes the handler goes to standard error.
void HandleApplicationException(std::exception_ptr Error);

// Whether Error is the silent abort, which is dropped without a report.
bool IsSilentAbort(std::exception_ptr Error);

// Hands an exception to the application's error display on the user-interface thread, or to standard
// error when there is no application. EAbort is dropped.
void ReportToApplication(std::exception_ptr Error);

// Runs Handler the way the application runs every event handler: an exception ends it and goes to the
// application's error display; it never unwinds through the toolkit.
template <typename THandler>
void Guarded(THandler&& Handler) {
  try {
    Handler();
  } catch (...) {
    HandleApplicationException(std::current_exception());
  }
}

}  // namespace tarnel
