#include "UiPosts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <utility>

#include "serial/UiDispatcher.h"

namespace tarnel::test {
namespace {

// The build's own dispatcher, counting what is posted through it.
class TCountingUiDispatcher : public TUiDispatcher {
 public:
  explicit TCountingUiDispatcher(std::shared_ptr<TUiDispatcher> Inner) : FInner(std::move(Inner)) {}
  bool IsUiThread() const override { return FInner->IsUiThread(); }
  bool Post(std::function<void()> Task) override {
    ++FPosts;  // the delivery is queued before it is posted, so counting first is safe
    return FInner->Post(std::move(Task));
  }
  int Posts() const { return FPosts.load(); }

 private:
  std::shared_ptr<TUiDispatcher> FInner;
  std::atomic<int> FPosts{0};
};

std::shared_ptr<TCountingUiDispatcher>& Counter() {
  static std::shared_ptr<TCountingUiDispatcher> counter;
  return counter;
}

// Installed once the application object exists and before any test takes a slot, so every delivery service
// of the run (the process's and the tests' own) posts through it.
class TInstallCounter : public ::testing::Environment {
 public:
  void SetUp() override {
    Counter() = std::make_shared<TCountingUiDispatcher>(MakeDefaultUiDispatcher());
    SetUiDispatcher(Counter());
  }
};

[[maybe_unused]] ::testing::Environment* const kInstalled =
    ::testing::AddGlobalTestEnvironment(new TInstallCounter);

}  // namespace

int UiPosts() {
  return Counter() ? Counter()->Posts() : 0;
}

bool WaitForUiPostsAfter(int Before, int TimeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (UiPosts() <= Before) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace tarnel::test
