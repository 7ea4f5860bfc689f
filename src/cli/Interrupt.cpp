#include "cli/Interrupt.h"

#include <csignal>
#include <cstdlib>

namespace tarnel::cli {
namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void OnSignal(int Signal) {
  if (gInterrupted.exchange(true)) std::_Exit(128 + Signal);
}

}  // namespace

const std::atomic<bool>& Interrupted() {
  return gInterrupted;
}

void CatchInterrupts() {
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
}

}  // namespace tarnel::cli
