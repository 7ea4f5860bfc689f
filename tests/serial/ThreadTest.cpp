#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "UiPosts.h"
#include "serial/AfSafeSync.h"
#include "serial/TThread.h"
#include "serial/platform/Threads.h"

namespace tarnel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class BodyThread : public TThread {
 public:
  explicit BodyThread(std::function<void(BodyThread&)> Body) : FBody(std::move(Body)) {}
  ~BodyThread() override { WaitFor(); }
  std::atomic<bool> Reported{false};
  using TThread::Terminated;

 protected:
  void Execute() override { FBody(*this); }
  void ReportException(std::exception_ptr) override { Reported = true; }

 private:
  std::function<void(BodyThread&)> FBody;
};

TEST(ThreadTest, TerminateIsSeenByTheBody) {
  std::atomic<bool> running{false};
  BodyThread thread([&](BodyThread& self) {
    running = true;
    while (!self.Terminated())
      std::this_thread::sleep_for(1ms);
  });
  thread.Start();
  const auto deadline = Clock::now() + 10s;
  while (!running && Clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(running) << "the body never ran";
  thread.Terminate();
  thread.WaitFor();
  EXPECT_TRUE(thread.Terminated());
}

TEST(ThreadTest, PriorityBecomesTheThreadsNiceness) {
  std::atomic<int> tid{0};
  BodyThread thread([&](BodyThread& self) {
    tid = platform::CurrentThreadId();
    while (!self.Terminated())
      std::this_thread::sleep_for(1ms);
  });
  thread.SetPriority(tpLower);
  thread.Start();
  const auto deadline = Clock::now() + 10s;
  while (tid == 0 && Clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  if (tid == 0) thread.Terminate();  // the destructor waits for the body
  ASSERT_NE(tid, 0) << "the body never ran";
  errno = 0;
  EXPECT_EQ(getpriority(PRIO_PROCESS, tid), platform::NiceValue(tpLower));
  thread.SetPriority(tpIdle);
  EXPECT_EQ(getpriority(PRIO_PROCESS, tid), 19);
  thread.Terminate();
  thread.WaitFor();
}

TEST(ThreadTest, PrioritiesAreOrdered) {
  for (int p = tpIdle; p < tpTimeCritical; ++p)
    EXPECT_GT(platform::NiceValue(TThreadPriority(p)), platform::NiceValue(TThreadPriority(p + 1)));
  EXPECT_EQ(platform::NiceValue(tpNormal), 0);
}

TEST(ThreadTest, AnEscapingExceptionEndsTheBodyAndIsReported) {
  BodyThread thread([](BodyThread&) { throw std::runtime_error("body failed"); });
  thread.Start();
  thread.WaitFor();
  EXPECT_TRUE(thread.Reported);
}

// The UI thread waits for a thread that is itself waiting for the UI thread.
TEST(ThreadTest, WaitingOnTheUiThreadServesDeliveries) {
  std::atomic<bool> ran{false};
  const uint32_t slot = SafeSyncRegister([&](uint32_t) { ran = true; });
  ASSERT_NE(slot, 0u);
  SafeSyncEnable(slot, true);
  const int posted = test::UiPosts();
  BodyThread thread([&](BodyThread&) { SafeSyncCall(slot, 5000); });
  thread.Start();
  ASSERT_TRUE(test::WaitForUiPostsAfter(posted)) << "the thread never handed its delivery over";
  const auto start = Clock::now();
  thread.WaitFor();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 2000);
  EXPECT_TRUE(ran);
  SafeSyncUnregister(slot);
}

}  // namespace
}  // namespace tarnel
