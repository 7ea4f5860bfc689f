// The Windows serial device against the simulator on the Linux side (COM1), and the waits beneath it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "WineSupport.h"
#include "protocol/AnswerCheck.h"
#include "protocol/Instructions.h"
#include "serial/platform/ComNames.h"
#include "serial/platform/Event.h"
#include "serial/platform/SerialDevice.h"
#include "serial/platform/Threads.h"

namespace tarnel {
namespace {

using platform::Event;
using platform::WaitAny;
using std::chrono::steady_clock;
using test::ElapsedMs;

class Win32DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Device = platform::CreateSerialDevice();
    ASSERT_EQ(Device->Open(test::kSimulatedPort), platform::TOpenResult::Opened) << Device->OpenFailure();
    ASSERT_TRUE(Device->SetQueueSizes(4096, 2048));
    ASSERT_TRUE(Device->SetReadsReturnAtOnce());
    ASSERT_TRUE(Device->ApplyLineSettings(test::PlainLine(test::kSimulatedSpeed)));
    ASSERT_TRUE(Device->Purge(platform::PURGE_RXABORT | platform::PURGE_RXCLEAR));
  }

  // Writes Request and collects bytes until a whole answer is there or TimeoutMs passes.
  ByteString Ask(const ByteString& Request, int TimeoutMs = 3000) {
    EXPECT_EQ(Device->Write(Request.data(), static_cast<int32_t>(Request.size())),
              static_cast<int32_t>(Request.size()));
    ByteString received;
    const auto start = steady_clock::now();
    while (ElapsedMs(start) < TimeoutMs) {
      Device->WaitForInput(50);
      char chunk[256];
      const int32_t n = Device->Read(chunk, sizeof chunk);
      EXPECT_GE(n, 0);
      if (n > 0) received.append(chunk, static_cast<size_t>(n));
      if (CheckAnswer(received, Request).Status == TAnswerStatus::Ok) break;
    }
    return received;
  }

  std::unique_ptr<platform::SerialDevice> Device;
};

TEST_F(Win32DeviceTest, TheSimulatedDeviceAnswersItsInfoRequest) {
  const ByteString request = BuildInfoRequest(test::kSimulatedAddress);
  const TAnswer answer = CheckAnswer(Ask(request), request);
  ASSERT_EQ(answer.Status, TAnswerStatus::Ok);
  EXPECT_EQ(ModelFromInfo(answer.Packet.Data), "HRW");
}

TEST_F(Win32DeviceTest, ArrivingBytesRaiseTheCharacterEvent) {
  ASSERT_TRUE(Device->SetEventMask(EV_RXCHAR | EV_ERR));
  const ByteString request = BuildInfoRequest(test::kSimulatedAddress);
  ASSERT_EQ(Device->Write(request.data(), static_cast<int32_t>(request.size())),
            static_cast<int32_t>(request.size()));
  uint32_t events = 0;
  const auto start = steady_clock::now();
  while (!(events & EV_RXCHAR) && ElapsedMs(start) < 3000)
    if (WaitAny({&Device->LineEventSource()}, 500) == 0) events |= Device->TakeLineEvents();
  EXPECT_TRUE(events & EV_RXCHAR) << "events " << events;
  EXPECT_FALSE(Device->IsGone());
}

TEST_F(Win32DeviceTest, WithoutAMaskTheLineSourceStaysQuiet) {
  ASSERT_TRUE(Device->SetEventMask(EV_RXCHAR));
  ASSERT_TRUE(Device->SetEventMask(0));
  Device->TakeLineEvents();
  int wakes = 0;
  const auto start = steady_clock::now();
  while (ElapsedMs(start) < 300)
    if (WaitAny({&Device->LineEventSource()}, 300) == 0 && ++wakes > 0) Device->TakeLineEvents();
  EXPECT_LE(wakes, 1) << "a source that stays signalled makes the event thread spin";
}

TEST_F(Win32DeviceTest, AReadWithNothingWaitingReturnsAtOnce) {
  char buffer[64];
  const auto start = steady_clock::now();
  EXPECT_EQ(Device->Read(buffer, sizeof buffer), 0);
  EXPECT_LT(ElapsedMs(start), 100);
}

TEST_F(Win32DeviceTest, QueueCountsShowTheAnswerUntilPurged) {
  const ByteString request = BuildInfoRequest(test::kSimulatedAddress);
  // One answer read out first gives the size the queue must reach: the purge below must find the whole of
  // the second answer there, or its tail would arrive after the purge.
  const ByteString first = Ask(request);
  ASSERT_EQ(CheckAnswer(first, request).Status, TAnswerStatus::Ok);
  ASSERT_EQ(Device->Write(request.data(), static_cast<int32_t>(request.size())),
            static_cast<int32_t>(request.size()));
  uint32_t errors = 0;
  COMSTAT stat{};
  const auto start = steady_clock::now();
  for (;;) {
    ASSERT_TRUE(Device->ClearErrors(errors, stat));
    EXPECT_EQ(errors, 0u);
    if (stat.cbInQue >= first.size() || ElapsedMs(start) > 10000) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a look every few bytes at 9600 bit/s
  }
  EXPECT_EQ(stat.cbInQue, first.size());
  ASSERT_TRUE(Device->Purge(platform::PURGE_RXABORT | platform::PURGE_RXCLEAR));
  ASSERT_TRUE(Device->ClearErrors(errors, stat));
  EXPECT_EQ(stat.cbInQue, 0u);
  EXPECT_FALSE(Device->WaitForInput(50));
}

TEST_F(Win32DeviceTest, LineSettingsReadBackAsApplied) {
  ASSERT_TRUE(Device->ApplyLineSettings(test::PlainLine(19200)));
  DCB dcb;
  ASSERT_TRUE(Device->ReadLineSettings(dcb));
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_TRUE(Device->Escape(CLRDTR));
  EXPECT_TRUE(Device->Escape(SETDTR));
}

TEST_F(Win32DeviceTest, SevenDataBitsWithEvenParityReadBack) {
  SKIP_UNDER_WINE("no parity or data bits on a pty");
  DCB asked = test::PlainLine(9600);
  asked.ByteSize = 7;
  asked.Parity = EVENPARITY;
  ASSERT_TRUE(Device->ApplyLineSettings(asked));
  DCB dcb;
  ASSERT_TRUE(Device->ReadLineSettings(dcb));
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
}

TEST_F(Win32DeviceTest, AnOpenPortIsHeldHereAndFreeAfterClosing) {
  EXPECT_EQ(platform::InspectComPort(test::kSimulatedPort), platform::TPortCondition::OpenHere);
  EXPECT_EQ(platform::ProbeComPort(test::kSimulatedPort), platform::TPortProbe::Busy);
  ASSERT_TRUE(Device->Close());
  EXPECT_EQ(Device->Handle(), -1);
  EXPECT_EQ(platform::ProbeComPort(test::kSimulatedPort), platform::TPortProbe::Free);
}

TEST_F(Win32DeviceTest, ASecondOpenIsRefused) {
  SKIP_UNDER_WINE("a second open is not refused");
  auto second = platform::CreateSerialDevice();
  EXPECT_EQ(second->Open(test::kSimulatedPort), platform::TOpenResult::Failed);
  EXPECT_NE(second->OpenFailure().find("in use"), std::string::npos) << second->OpenFailure();
}

TEST(Win32PortNamesTest, APortWithoutADeviceIsMissingAndSaysSo) {
  auto device = platform::CreateSerialDevice();
  EXPECT_EQ(device->Open(7), platform::TOpenResult::Missing);
  EXPECT_NE(device->OpenFailure().find("COM7 does not exist"), std::string::npos) << device->OpenFailure();
  EXPECT_EQ(platform::ProbeComPort(7), platform::TPortProbe::Missing);
  EXPECT_EQ(platform::ComDevicePath(12), "\\\\.\\COM12");
  EXPECT_EQ(platform::ComDevicePath(0), "");
}

class Win32WaitTest : public ::testing::Test {};

TEST_F(Win32WaitTest, TheLowestSignalledIndexWinsAndAnAutoResetEventIsConsumed) {
  Event first(Event::Kind::AutoReset), second(Event::Kind::AutoReset);
  first.Set();
  second.Set();
  EXPECT_EQ(WaitAny({&first, &second}, 0), 0);
  EXPECT_EQ(WaitAny({&first, &second}, 0), 1);
  EXPECT_EQ(WaitAny({&first, &second}, 0), platform::kWaitTimeout);
}

TEST_F(Win32WaitTest, AManualResetEventStaysSetUntilReset) {
  Event manual(Event::Kind::ManualReset, true);
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.IsSet());
  manual.Reset();
  EXPECT_FALSE(manual.IsSet());
  const auto start = steady_clock::now();
  EXPECT_FALSE(manual.Wait(60));
  EXPECT_GE(ElapsedMs(start), 50);
}

TEST_F(Win32WaitTest, AnotherThreadsSetEndsTheWaitAndLookingKeepsAnAutoResetEventSet) {
  Event wake(Event::Kind::AutoReset);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    wake.Set();
  });
  EXPECT_TRUE(wake.Wait(2000));
  setter.join();
  wake.Set();
  EXPECT_TRUE(wake.IsSet());
  EXPECT_TRUE(wake.Wait(0));
}

TEST_F(Win32WaitTest, APriorityIsGivenToTheThreadNamed) {
  std::thread worker([] {
    ASSERT_TRUE(platform::SetThreadPriority(platform::CurrentThreadId(), tpLowest));
    EXPECT_EQ(test::CurrentThreadPriority(), test::kLowestThreadPriority);
  });
  worker.join();
  EXPECT_FALSE(platform::SetThreadPriority(0, tpHigher));
}

}  // namespace
}  // namespace tarnel
