#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "UiPosts.h"
#include "serial/AfSafeSync.h"
#include "serial/ApplicationErrors.h"
#include "support/UiThreadWait.h"

namespace tarnel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::MsSince;
using test::PumpUntil;

template <typename T>
bool IsReady(const std::future<T>& Future) {
  return Future.wait_for(0ms) == std::future_status::ready;
}

// Every test works on a service of its own, so ids and slots start from a known state.
class SafeSyncServiceTest : public ::testing::Test {
 protected:
  void TearDown() override { SetApplicationExceptionHandler(nullptr); }

  // A slot, open, whose callback counts its runs and remembers the thread and position.
  uint32_t CountingSlot() {
    uint32_t Id = Service.Register([this](uint32_t Position) {
      LastPosition = Position;
      RanOnUiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
      ++Runs;
    });
    Service.Enable(Id, true);
    return Id;
  }

  std::future<bool> CallFromWorker(uint32_t Id, uint32_t TimeoutMs) {
    return std::async(std::launch::async, [this, Id, TimeoutMs] { return Service.Call(Id, TimeoutMs); });
  }

  TSafeSyncService Service;
  std::atomic<int> Runs{0};
  std::atomic<uint32_t> LastPosition{0};
  std::atomic<bool> RanOnUiThread{false};
};

TEST_F(SafeSyncServiceTest, IdsStartAtOneAndAreNeverReused) {
  auto Nothing = [](uint32_t) {};
  EXPECT_EQ(Service.Register(Nothing), 1u);
  EXPECT_EQ(Service.Register(Nothing), 2u);
  EXPECT_TRUE(Service.Unregister(1));
  uint32_t Third = CountingSlot();
  EXPECT_EQ(Third, 3u);
  // The freed first slot was taken again.
  EXPECT_TRUE(Service.Call(Third, 100));
  EXPECT_EQ(LastPosition.load(), 1u);
}

TEST_F(SafeSyncServiceTest, SixtyFifthRegistrationGetsNoSlot) {
  std::set<uint32_t> Ids;
  for (int I = 0; I < TSafeSyncService::SlotCount; ++I)
    Ids.insert(Service.Register([](uint32_t) {}));
  EXPECT_EQ(Ids.size(), 64u);
  EXPECT_EQ(Ids.count(0), 0u);
  EXPECT_EQ(Service.Register([](uint32_t) {}), 0u);
  EXPECT_FALSE(Service.Call(0, 100));
  EXPECT_FALSE(Service.Enable(0, true));
  EXPECT_FALSE(Service.Unregister(0));
  // A freed slot can be taken again; the failed registration used no id.
  EXPECT_TRUE(Service.Unregister(10));
  EXPECT_EQ(Service.Register([](uint32_t) {}), 65u);
}

TEST_F(SafeSyncServiceTest, UnknownAndFreedIdsAreRefused) {
  uint32_t Id = CountingSlot();
  EXPECT_FALSE(Service.Enable(Id + 1, true));
  EXPECT_FALSE(Service.Unregister(Id + 1));
  EXPECT_TRUE(Service.Unregister(Id));
  EXPECT_FALSE(Service.Unregister(Id));
  EXPECT_FALSE(Service.Enable(Id, true));
  EXPECT_FALSE(Service.Call(Id, 100));
  EXPECT_EQ(Runs.load(), 0);
}

TEST_F(SafeSyncServiceTest, EmptyCallbackTakesNoSlot) {
  EXPECT_EQ(Service.Register(nullptr), 0u);
}

TEST_F(SafeSyncServiceTest, WorkerCallRunsCallbackOnUiThread) {
  uint32_t Id = CountingSlot();
  auto Result = CallFromWorker(Id, 10000);
  ASSERT_TRUE(PumpUntil([&] { return IsReady(Result); }));
  EXPECT_TRUE(Result.get());
  EXPECT_EQ(Runs.load(), 1);
  EXPECT_TRUE(RanOnUiThread.load());
  EXPECT_EQ(LastPosition.load(), 1u);
}

TEST_F(SafeSyncServiceTest, CallOnUiThreadRunsAtOnce) {
  uint32_t Id = CountingSlot();
  EXPECT_TRUE(Service.Call(Id, 0));
  EXPECT_EQ(Runs.load(), 1);
  EXPECT_TRUE(RanOnUiThread.load());
}

TEST_F(SafeSyncServiceTest, DisabledSlotReturnsFalseAtOnceAndRunsNothing) {
  uint32_t Id = Service.Register([this](uint32_t) { ++Runs; });
  auto Start = Clock::now();
  auto Result = CallFromWorker(Id, 5000);
  ASSERT_EQ(Result.wait_for(2s), std::future_status::ready);
  EXPECT_FALSE(Result.get());
  EXPECT_LT(MsSince(Start), 2000);
  QCoreApplication::processEvents();
  EXPECT_FALSE(Service.Call(Id, 100));  // on the UI thread too
  EXPECT_EQ(Runs.load(), 0);
}

TEST_F(SafeSyncServiceTest, TimedOutDeliveryNeverRunsLater) {
  uint32_t Id = CountingSlot();
  auto Start = Clock::now();
  // The UI thread does not serve events while the worker waits.
  auto Result = CallFromWorker(Id, 100);
  ASSERT_EQ(Result.wait_for(5s), std::future_status::ready);
  EXPECT_GE(MsSince(Start), 90);
  EXPECT_TRUE(Result.get()) << "a time-out alone is not reported";
  QCoreApplication::processEvents();
  Service.ProcessPending();
  EXPECT_EQ(Runs.load(), 0);
}

TEST_F(SafeSyncServiceTest, ShuttingSlotReleasesWaitingCaller) {
  uint32_t Id = CountingSlot();
  const int Posted = test::UiPosts();
  auto Result = CallFromWorker(Id, 20000);
  ASSERT_TRUE(test::WaitForUiPostsAfter(Posted)) << "the worker never queued its delivery";
  auto Start = Clock::now();
  EXPECT_TRUE(Service.Enable(Id, false));
  ASSERT_EQ(Result.wait_for(2s), std::future_status::ready);
  EXPECT_LT(MsSince(Start), 2000);
  EXPECT_FALSE(Result.get());
  EXPECT_TRUE(Service.Enable(Id, true));
  QCoreApplication::processEvents();
  Service.ProcessPending();
  EXPECT_EQ(Runs.load(), 0) << "a released delivery must not run when the slot opens again";
}

TEST_F(SafeSyncServiceTest, FreeingSlotReleasesWaitingCaller) {
  uint32_t Id = CountingSlot();
  const int Posted = test::UiPosts();
  auto Result = CallFromWorker(Id, 20000);
  ASSERT_TRUE(test::WaitForUiPostsAfter(Posted)) << "the worker never queued its delivery";
  EXPECT_TRUE(Service.Unregister(Id));
  ASSERT_EQ(Result.wait_for(2s), std::future_status::ready);
  EXPECT_FALSE(Result.get());
  QCoreApplication::processEvents();
  EXPECT_EQ(Runs.load(), 0);
}

TEST_F(SafeSyncServiceTest, SlotShutWhileCallbackRunsGivesFalse) {
  uint32_t Id = 0;
  Id = Service.Register([&](uint32_t) {
    ++Runs;
    Service.Enable(Id, false);
  });
  Service.Enable(Id, true);
  auto Result = CallFromWorker(Id, 10000);
  ASSERT_TRUE(PumpUntil([&] { return IsReady(Result); }));
  EXPECT_FALSE(Result.get());
  EXPECT_EQ(Runs.load(), 1);
}

TEST_F(SafeSyncServiceTest, CallbackMayRegisterAndFreeSlots) {
  std::atomic<uint32_t> Inner{0};
  uint32_t Id = Service.Register([&](uint32_t) {
    uint32_t New = Service.Register([](uint32_t) {});
    Service.Enable(New, true);
    Inner = New;
    Service.Unregister(New);
  });
  Service.Enable(Id, true);
  auto Result = CallFromWorker(Id, 10000);
  ASSERT_TRUE(PumpUntil([&] { return IsReady(Result); }));
  EXPECT_TRUE(Result.get());
  EXPECT_EQ(Inner.load(), Id + 1);
}

TEST_F(SafeSyncServiceTest, ProcessPendingServesWaitingCallerWithoutEventLoop) {
  uint32_t Id = CountingSlot();
  auto Result = CallFromWorker(Id, 20000);
  auto Deadline = Clock::now() + 10s;
  while (!IsReady(Result) && Clock::now() < Deadline) {
    Service.ProcessPending();
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_TRUE(IsReady(Result));
  EXPECT_TRUE(Result.get());
  EXPECT_EQ(Runs.load(), 1);
  EXPECT_TRUE(RanOnUiThread.load());
}

TEST_F(SafeSyncServiceTest, ProcessPendingOffTheUiThreadRunsNothing) {
  uint32_t Id = CountingSlot();
  const int Posted = test::UiPosts();
  auto Result = CallFromWorker(Id, 300);
  ASSERT_TRUE(test::WaitForUiPostsAfter(Posted)) << "the worker never queued its delivery";
  std::thread([this] { Service.ProcessPending(); }).join();
  EXPECT_EQ(Runs.load(), 0);
  EXPECT_TRUE(Result.get());
  EXPECT_EQ(Runs.load(), 0);
}

TEST_F(SafeSyncServiceTest, CallbackExceptionGoesToHandlerNotCaller) {
  std::mutex Lock;
  std::string Message;
  bool HandlerOnUiThread = false;
  SetApplicationExceptionHandler([&](std::exception_ptr Error) {
    std::lock_guard<std::mutex> Guard(Lock);
    HandlerOnUiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    try {
      std::rethrow_exception(Error);
    } catch (const std::exception& E) {
      Message = E.what();
    }
  });
  uint32_t Id = Service.Register([](uint32_t) { throw std::runtime_error("boom"); });
  Service.Enable(Id, true);
  auto Result = CallFromWorker(Id, 10000);
  ASSERT_TRUE(PumpUntil([&] { return IsReady(Result); }));
  EXPECT_TRUE(Result.get());
  std::lock_guard<std::mutex> Guard(Lock);
  EXPECT_EQ(Message, "boom");
  EXPECT_TRUE(HandlerOnUiThread);
}

TEST_F(SafeSyncServiceTest, CallbackExceptionOnUiThreadGoesToHandler) {
  int Handled = 0;
  SetApplicationExceptionHandler([&](std::exception_ptr) { ++Handled; });
  uint32_t Id = Service.Register([](uint32_t) { throw 42; });
  Service.Enable(Id, true);
  EXPECT_TRUE(Service.Call(Id, 100));
  EXPECT_EQ(Handled, 1);
}

TEST_F(SafeSyncServiceTest, ManyWorkersAllServed) {
  uint32_t Id = CountingSlot();
  constexpr int Workers = 4, CallsEach = 50;
  std::atomic<int> Succeeded{0};
  std::vector<std::thread> Threads;
  for (int W = 0; W < Workers; ++W)
    Threads.emplace_back([&] {
      for (int I = 0; I < CallsEach; ++I)
        if (Service.Call(Id, 20000)) ++Succeeded;
    });
  EXPECT_TRUE(PumpUntil([&] { return Succeeded.load() == Workers * CallsEach; }, 60000));
  for (auto& T : Threads)
    T.join();
  EXPECT_EQ(Runs.load(), Workers * CallsEach);
}

TEST_F(SafeSyncServiceTest, ShortTimeoutsUnderLoadRunEachDeliveryAtMostOnce) {
  uint32_t Id = CountingSlot();
  constexpr int Workers = 3, CallsEach = 100;
  std::atomic<int> Returned{0};
  std::vector<std::thread> Threads;
  for (int W = 0; W < Workers; ++W)
    Threads.emplace_back([&] {
      for (int I = 0; I < CallsEach; ++I) {
        Service.Call(Id, 1);
        ++Returned;
      }
    });
  EXPECT_TRUE(PumpUntil([&] { return Returned.load() == Workers * CallsEach; }, 60000));
  for (auto& T : Threads)
    T.join();
  QCoreApplication::processEvents();
  EXPECT_LE(Runs.load(), Workers * CallsEach);
}

// The process-wide functions share one service: ids only grow, and freed slots are taken again.
TEST(SafeSyncGlobalTest, FunctionsShareOneService) {
  uint32_t First = SafeSyncRegister([](uint32_t) {});
  uint32_t Second = SafeSyncRegister([](uint32_t) {});
  ASSERT_NE(First, 0u);
  EXPECT_EQ(Second, First + 1);
  EXPECT_FALSE(SafeSyncCall(Second, 100)) << "registered slots start shut";
  EXPECT_TRUE(SafeSyncEnable(Second, true));
  std::atomic<bool> Ran{false};
  uint32_t Third = SafeSyncRegister([&](uint32_t) { Ran = true; });
  SafeSyncEnable(Third, true);
  auto Result = std::async(std::launch::async, [Third] { return SafeSyncCall(Third, 10000); });
  ASSERT_TRUE(PumpUntil([&] { return IsReady(Result); }));
  EXPECT_TRUE(Result.get());
  EXPECT_TRUE(Ran.load());
  EXPECT_TRUE(SafeSyncUnregister(First));
  EXPECT_TRUE(SafeSyncUnregister(Second));
  EXPECT_TRUE(SafeSyncUnregister(Third));
  EXPECT_FALSE(SafeSyncUnregister(Third));
}

TEST(SafeSyncGlobalTest, DefaultHandlerWritesToStandardError) {
  SetApplicationExceptionHandler(nullptr);
  ::testing::internal::CaptureStderr();
  HandleApplicationException(std::make_exception_ptr(std::runtime_error("lost port")));
  std::string Written = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(Written.find("lost port"), std::string::npos) << Written;
}

}  // namespace
}  // namespace tarnel
