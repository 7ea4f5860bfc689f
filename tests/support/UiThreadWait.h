#pragma once

#include <QCoreApplication>
#include <chrono>
#include <cstdint>
#include <thread>

namespace tarnel::test {

inline int64_t MsSince(std::chrono::steady_clock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Start)
      .count();
}

// Serves the UI thread's events until Done holds or the time is up; false when the time ran out.
template <typename Pred>
bool PumpUntil(Pred Done, int TimeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace tarnel::test
