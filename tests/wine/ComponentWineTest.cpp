// The port component and the exchange on Windows, against the simulator on the Linux side (COM1), with
// the main thread as the user-interface thread of a plain dispatcher.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "WineSupport.h"
#include "protocol/AnswerCheck.h"
#include "protocol/Exchange.h"
#include "protocol/Instructions.h"
#include "serial/AfComPort.h"
#include "serial/AfComPortExchange.h"
#include "serial/AfPortInfo.h"
#include "serial/ApplicationErrors.h"
#include "serial/PlainUiDispatcher.h"

namespace tarnel {
namespace test {
TPlainUiDispatcher& UiQueue();
}
namespace {

using std::chrono::steady_clock;
using test::ElapsedMs;

class ComponentWineTest : public ::testing::Test {
 protected:
  ComponentWineTest() {
    port.SetComNumber(test::kSimulatedPort);
    port.SetBaudRate(br9600);
    port.OnPortOpen = [this](TAfOwner*) { events.push_back("open"); };
    port.OnPortClose = [this](TAfOwner*) { events.push_back("close"); };
    port.OnDataRecived = [this](TAfOwner*, int32_t) { received += port.ReadString(); };
  }
  ~ComponentWineTest() override { port.Close(); }

  // Serves the user-interface queue until Done holds or TimeoutMs passes.
  template <typename TDone>
  bool ServeUntil(TDone Done, int TimeoutMs = 3000) {
    const auto start = steady_clock::now();
    while (!Done() && ElapsedMs(start) < TimeoutMs)
      test::UiQueue().RunFor(10);
    return Done();
  }

  TAfComPort port;
  std::vector<std::string> events;
  ByteString received;
};

TEST_F(ComponentWineTest, AnAnswerArrivesThroughTheDataEventOnTheUiThread) {
  port.Open();
  ASSERT_TRUE(port.Active());
  const ByteString request = BuildInfoRequest(test::kSimulatedAddress);
  port.WriteData(request.data(), static_cast<int32_t>(request.size()));
  ASSERT_TRUE(ServeUntil([&] { return CheckAnswer(received, request).Status == TAnswerStatus::Ok; }))
      << received.size() << " bytes";
  EXPECT_EQ(ModelFromInfo(CheckAnswer(received, request).Packet.Data), "HRW");
}

TEST_F(ComponentWineTest, OpeningAndClosingAreReportedAndFreeThePort) {
  port.Open();
  EXPECT_EQ(TAfPortInfo::Probe(test::kSimulatedPort), TAfPortProbe::Busy);
  port.Close();
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(events, (std::vector<std::string>{"open", "close"}));
  EXPECT_EQ(TAfPortInfo::Probe(test::kSimulatedPort), TAfPortProbe::Free);
}

TEST_F(ComponentWineTest, APortWithoutADeviceRefusesToOpenAndSaysWhy) {
  port.SetComNumber(7);
  try {
    port.Open();
    FAIL() << "COM7 opened";
  } catch (const Exception& error) {
    EXPECT_NE(std::string(error.what()).find("COM7 does not exist"), std::string::npos) << error.what();
  }
  EXPECT_FALSE(port.Active());
  EXPECT_TRUE(events.empty());
}

TEST_F(ComponentWineTest, TheExchangeReadsTheInfoTextAndEndsSoonAfterTheAnswer) {
  port.Open();
  TAfComPortExchange line(&port);
  const ByteString request = BuildInfoRequest(test::kSimulatedAddress);
  const auto start = steady_clock::now();
  const ByteString result = ExchangePacket(&line, request, 500, CheckPacket97, StandardExchangeOptions);
  const int64_t took = ElapsedMs(start);
  const TAnswer answer = CheckAnswer(result, request);
  ASSERT_EQ(answer.Status, TAnswerStatus::Ok);
  EXPECT_EQ(ModelFromInfo(answer.Packet.Data), "HRW");
  EXPECT_LT(took, 500) << "a complete answer ends the wait before the time-out";
}

TEST_F(ComponentWineTest, AnAbsentAddressGivesNothingAfterTheTimeOut) {
  port.Open();
  TAfComPortExchange line(&port);
  const auto start = steady_clock::now();
  const ByteString result =
      ExchangePacket(&line, BuildInfoRequest(77), 300, CheckPacket97, StandardExchangeOptions);
  EXPECT_EQ(CheckAnswer(result, BuildInfoRequest(77)).Status, TAnswerStatus::NoAnswer);
  EXPECT_GE(ElapsedMs(start), 300);
}

TEST(UiDispatcherWineTest, PostedTasksRunOnTheUiThreadInOrderAndNeverAtOnce) {
  std::vector<int> ran;
  std::thread poster([&] {
    EXPECT_FALSE(UiDispatcher().IsUiThread());
    UiDispatcher().Post([&] { ran.push_back(1); });
    UiDispatcher().Post([&] { ran.push_back(2); });
  });
  poster.join();
  EXPECT_TRUE(UiDispatcher().IsUiThread());
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(test::UiQueue().RunPending(), 2);
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace tarnel
