#pragma once

#include <atomic>

namespace tarnel::cli {

// Set by Ctrl+C (SIGINT) or SIGTERM once CatchInterrupts ran; commands look at it between exchanges, so an
// exchange under way always ends cleanly first.
const std::atomic<bool>& Interrupted();

// Installs the handlers. A second Ctrl+C ends the program at once.
void CatchInterrupts();

}  // namespace tarnel::cli
