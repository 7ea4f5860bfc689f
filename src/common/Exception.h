#pragma once

#include <stdexcept>
#include <string>

namespace tarnel {

// The general error class: every error the tool raises derives from it and carries a message for the user.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// The silent abort: it ends an operation and is never shown to the user.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

}  // namespace tarnel
