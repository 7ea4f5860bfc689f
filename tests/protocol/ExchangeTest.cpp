#include "protocol/Exchange.h"

#include <gtest/gtest.h>

#include <thread>

#include "protocol/AnswerCheck.h"
#include "protocol/Decoders.h"
#include "protocol/Instructions.h"
#include "protocol/Packet97.h"
#include "serial/AfComPortExchange.h"
#include "sim/DeviceSimulator.h"
#include "sim/Values.h"
#include "support/Hex.h"
#include "support/PtyPair.h"

namespace tarnel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Hex;
using test::ToHex;

double MsBetween(Clock::time_point From, Clock::time_point To) {
  return std::chrono::duration<double, std::milli>(To - From).count();
}

// A port component on COM1, which the simulator provides; the devices are added by each test.
class ExchangeTest : public ::testing::Test {
 protected:
  ~ExchangeTest() override {
    port.Close();
    sim.Stop();
  }

  int AddDevice(uint8_t Address, int32_t Speed = 9600, const std::string& Info = "HRW;hall",
                TSerialNumber Serial = {1234, 42}) {
    sim::TDeviceConfig config;
    config.Address = Address;
    config.Speed = Speed;
    config.Serial = Serial;
    config.Info = Info;
    return sim.AddDevice(config);
  }

  void Open(TAfBaudrate BaudRate = br9600) {
    sim.Start(dir, 1);
    port.SetComNumber(1);
    port.SetBaudRate(BaudRate);
    port.Open();
    ASSERT_TRUE(port.Active());
  }

  // One exchange as every caller makes it; remembers how long it took.
  ByteString Exchange(const ByteString& Request, PacketValidator Validator = CheckPacket97,
                      ExchangeOptions Options = StandardExchangeOptions, int32_t TimeoutMs = 500) {
    started = Clock::now();
    ByteString result = ExchangePacket(&line, Request, TimeoutMs, Validator, Options);
    returned = Clock::now();
    return result;
  }

  double ElapsedMs() const { return MsBetween(started, returned); }

  // From the simulator writing the last byte of its latest transmission to the exchange returning.
  double AfterLastByteMs() {
    EXPECT_TRUE(sim.WaitForAnswers(1, 1s));
    const auto answers = sim.Answers();
    return answers.empty() ? -1 : MsBetween(answers.back().FinishedAt, returned);
  }

  ByteString Heard(size_t Index = 0) {
    EXPECT_TRUE(sim.WaitForRequests(Index + 1, 1s));
    const auto requests = sim.Requests();
    return Index < requests.size() ? requests[Index].Bytes : ByteString();
  }

  test::ComDir comDir;
  const std::string dir = comDir.Path();
  sim::TDeviceSimulator sim;
  TAfComPort port;
  TAfComPortExchange line{&port};
  Clock::time_point started, returned;
};

class ExchangeCallSiteTest : public ExchangeTest {};

TEST_F(ExchangeCallSiteTest, FindTheDeviceOnTheLine) {
  AddDevice(0x31);
  Open();
  const TAnswer answer = CheckAnswer(Exchange(BuildFindDeviceRequest()));
  EXPECT_EQ(ToHex(Heard()), "2A 61 00 05 FE F3 F3 8B 0D");
  ASSERT_EQ(answer.Status, TAnswerStatus::Ok);
  EXPECT_EQ(answer.Packet.Address, 0x31);
}

TEST_F(ExchangeCallSiteTest, AllowWritingThenSetAddressAndSpeed) {
  AddDevice(0x31);
  Open();
  EXPECT_EQ(CheckAnswer(Exchange(BuildWritePermissionRequest(0x31))).Status, TAnswerStatus::Ok);
  EXPECT_EQ(ToHex(Heard(0)), "2A 61 00 05 31 01 E4 59 0D");
  const TAnswer answer = CheckAnswer(Exchange(BuildSetAddressSpeedRequest(0x31, 0x32, 6)));
  EXPECT_EQ(ToHex(Heard(1)), "2A 61 00 07 31 01 E0 32 06 23 0D");
  ASSERT_EQ(answer.Status, TAnswerStatus::Ok);
  ASSERT_TRUE(sim.WaitIdle(1s));
  EXPECT_EQ(sim.Devices()[0].Address, 0x32);
}

TEST_F(ExchangeCallSiteTest, SetAddressWithoutPermissionIsRefused) {
  AddDevice(0x31);
  Open();
  EXPECT_EQ(CheckAnswer(Exchange(BuildSetAddressSpeedRequest(0x31, 0x32, 6))).Status, TAnswerStatus::Refused);
  EXPECT_EQ(sim.Devices()[0].Address, 0x31);
}

TEST_F(ExchangeCallSiteTest, SetAddressBySerialNumber) {
  AddDevice(0x31);
  AddDevice(0x32, 9600, "HRW;hall", {1234, 43});
  Open();
  // Only the device with that serial number answers, so nothing collides with two on the line.
  const TAnswer answer = CheckAnswer(Exchange(BuildSetAddressBySerialRequest(5, {1234, 42})));
  const ByteString heard = Heard();
  EXPECT_EQ(ToHex(heard.substr(0, 12)), "2A 61 00 0A FE 01 EB 05 04 D2 00 2A");
  EXPECT_EQ(CheckPacket97(heard), 0);
  ASSERT_EQ(answer.Status, TAnswerStatus::Ok);
  ASSERT_TRUE(sim.WaitIdle(1s));
  EXPECT_EQ(sim.Devices()[0].Address, 5);
  EXPECT_EQ(sim.Devices()[1].Address, 0x32);
}

TEST_F(ExchangeCallSiteTest, ReadTheInfoText) {
  AddDevice(0x31, 9600, "KQ6A;four channels");
  Open();
  const TAnswer answer = CheckAnswer(Exchange(BuildInfoRequest(0x31)));
  EXPECT_EQ(ToHex(Heard()), "2A 61 00 05 31 01 F3 4A 0D");
  ASSERT_EQ(answer.Status, TAnswerStatus::Ok);
  EXPECT_EQ(answer.Packet.Data, "KQ6A;four channels");
}

TEST_F(ExchangeCallSiteTest, ReadMeasuredValues) {
  const int device = AddDevice(0x31);
  sim.SetValues(device, EncodeTempHumidityDew(25.0, 50.0, 10.0));
  Open();
  const TAnswer answer =
      CheckAnswer(Exchange(BuildReadValuesRequest(0x31, TDeviceFamily::TempHumidityDew)), false);
  EXPECT_EQ(ToHex(Heard()), "2A 61 00 06 31 02 51 00 EA 0D");
  ASSERT_EQ(answer.Status, TAnswerStatus::Ok);
  double temperature = 0, humidity = 0, dew = 0;
  bool valid = false;
  ASSERT_TRUE(DecodeTempHumidityDew(answer.Packet.Data, temperature, humidity, dew, valid));
  EXPECT_DOUBLE_EQ(humidity, 50.0);
}

TEST_F(ExchangeCallSiteTest, MeasuredValuesAreUsedWhateverTheCode) {
  const int device = AddDevice(0x31, 9600, "VKM7;pipe");
  sim.SetFaults(device, {.RefuseCode = 4});
  Open();
  const TAnswer answer =
      CheckAnswer(Exchange(BuildReadValuesRequest(0x31, TDeviceFamily::Temperature)), false);
  EXPECT_EQ(ToHex(Heard()), "2A 61 00 05 31 02 51 EB 0D");
  EXPECT_EQ(answer.Status, TAnswerStatus::Ok);
  EXPECT_EQ(answer.Packet.Code, 4);
}

TEST_F(ExchangeCallSiteTest, BurnASerialNumber) {
  AddDevice(0x31);
  Open();
  const ByteString result = Exchange(BuildBurnSerialRequest({1, 2}, {2030, 1, 1}));
  EXPECT_EQ(ToHex(Heard()).substr(0, 44), "2A 61 00 0D FE EA EA 00 01 00 02 20 30 01 01");
  EXPECT_EQ(CheckPacket97(result), 0);
  const sim::TDeviceState state = sim.Devices()[0];
  EXPECT_EQ(state.Serial.N2, 2);
  EXPECT_EQ(state.DateText(), "2030-01-01");
}

class ExchangeTimingTest : public ExchangeTest {};

TEST_F(ExchangeTimingTest, NoAnswerWaitsTheTimeOutPlusTheRequestsLineTime) {
  AddDevice(0x40);
  Open();
  EXPECT_EQ(Exchange(BuildInfoRequest(0x31)), "");
  EXPECT_GE(ElapsedMs(), 500 + 10 + 10) << "time-out, 9 bytes at 9600 bit/s, final pause";
  EXPECT_LT(ElapsedMs(), 2000);
  EXPECT_EQ(Heard(), BuildInfoRequest(0x31)) << "the request did go out";
}

TEST_F(ExchangeTimingTest, CompleteValidPacketEndsTheWaitAtOnce) {
  AddDevice(0x31);
  Open();
  EXPECT_EQ(Exchange(BuildInfoRequest(0x31)), BuildPacket97(0x31, 1, 0, "HRW;hall"));
  EXPECT_LT(AfterLastByteMs(), 140) << "well before the 156 ms quiet time";
  EXPECT_GE(AfterLastByteMs(), 10) << "the final pause";
}

TEST_F(ExchangeTimingTest, LateAnswerWithinTheTimeOutIsTaken) {
  const int device = AddDevice(0x31);
  sim.SetFaults(device, {.AnswerDelayMs = 400});
  Open();
  EXPECT_EQ(CheckAnswer(Exchange(BuildInfoRequest(0x31))).Status, TAnswerStatus::Ok);
  EXPECT_GE(ElapsedMs(), 400);
}

TEST_F(ExchangeTimingTest, SplitAnswerIsJoinedWhileTheGapIsShorterThanTheQuietTime) {
  const int device = AddDevice(0x31);
  sim.SetFaults(device, {.SplitGapMs = 100});
  Open();
  EXPECT_EQ(Exchange(BuildInfoRequest(0x31)), BuildPacket97(0x31, 1, 0, "HRW;hall"));
}

TEST_F(ExchangeTimingTest, SplitAnswerEndsAtTheFirstHalfWhenTheGapIsLonger) {
  const int device = AddDevice(0x31);
  sim.SetFaults(device, {.SplitGapMs = 400});
  Open();
  const ByteString answer = BuildPacket97(0x31, 1, 0, "HRW;hall");
  const ByteString result = Exchange(BuildInfoRequest(0x31));
  EXPECT_EQ(result, answer.substr(0, answer.size() / 2));
  EXPECT_EQ(CheckAnswer(result).Status, TAnswerStatus::NoPacket);
}

TEST_F(ExchangeTimingTest, IncompleteAnswerEndsAfterTheQuietTime) {
  const int device = AddDevice(0x31);
  sim.SetFaults(device, {.StrayByte = true, .StrayValue = 0xFF});
  Open();
  const ByteString result = Exchange(BuildInfoRequest(0x31));
  EXPECT_EQ(result, "\xFF" + BuildPacket97(0x31, 1, 0, "HRW;hall"));
  EXPECT_EQ(CheckAnswer(result).Status, TAnswerStatus::NoPacket) << "a stray byte leaves nothing to extract";
  EXPECT_GE(AfterLastByteMs(), 156);
  EXPECT_LT(AfterLastByteMs(), 1000);
}

TEST_F(ExchangeTimingTest, EchoGivesTheFirstPacket) {
  const int device = AddDevice(0x31);
  sim.SetFaults(device, {.Echo = true});
  Open();
  const ByteString request = BuildInfoRequest(0x31);
  const ByteString result = Exchange(request);
  // The result still holds every byte, the echo first; the plain check examines that first packet.
  EXPECT_EQ(result.substr(0, request.size()), request);
  ByteString buffer = result;
  EXPECT_EQ(ExtractPacket97(buffer, false), request);
  EXPECT_EQ(CheckAnswer(result).Status, TAnswerStatus::Refused)
      << "the echoed request's code is its instruction";
  ASSERT_TRUE(sim.WaitIdle(1s));
  sim.SetFaults(device, {});
  EXPECT_EQ(CheckAnswer(Exchange(BuildWritePermissionRequest(0x31))).Status, TAnswerStatus::Ok)
      << "the answer that came after the echo is purged by the next exchange";
}

TEST_F(ExchangeTimingTest, ClosedPortGivesNothingAtOnce) {
  AddDevice(0x31);
  sim.Start(dir, 1);
  port.SetComNumber(1);
  EXPECT_EQ(Exchange(BuildInfoRequest(0x31)), "");
  EXPECT_LT(ElapsedMs(), 8) << "no 10 ms pause";
  EXPECT_EQ(ExchangePacket(nullptr, BuildInfoRequest(0x31), 500, CheckPacket97, StandardExchangeOptions), "");
  EXPECT_FALSE(sim.WaitForRequests(1, 100ms));
}

TEST_F(ExchangeTimingTest, DeviceAtAnotherSpeedStaysSilent) {
  AddDevice(0x31, 19200);
  Open(br9600);
  EXPECT_EQ(Exchange(BuildInfoRequest(0x31)), "");
  EXPECT_GE(ElapsedMs(), 520);
  ASSERT_TRUE(sim.WaitForRequests(1, 1s));
  EXPECT_EQ(sim.Requests()[0].Speed, 9600);
  EXPECT_TRUE(sim.Requests()[0].HeardBy.empty());
}

TEST_F(ExchangeTimingTest, CollidingAnswersGiveNothingUsable) {
  AddDevice(0x31);
  AddDevice(0x32, 9600, "VKM7;pipe");
  Open();
  const ByteString result = Exchange(BuildFindDeviceRequest());
  EXPECT_FALSE(result.empty());
  const TAnswerStatus status = CheckAnswer(result).Status;
  EXPECT_TRUE(status == TAnswerStatus::NoPacket || status == TAnswerStatus::Invalid) << ToHex(result);
}

TEST_F(ExchangeTimingTest, BadChecksumAndRefusalReachTheCheck) {
  const int device = AddDevice(0x31);
  Open();
  sim.SetFaults(device, {.BadChecksum = true});
  EXPECT_EQ(CheckAnswer(Exchange(BuildInfoRequest(0x31))).Status, TAnswerStatus::Invalid);
  sim.SetFaults(device, {.RefuseCode = 2});
  EXPECT_EQ(CheckAnswer(Exchange(BuildInfoRequest(0x31))).Status, TAnswerStatus::Refused);
}

TEST_F(ExchangeTimingTest, PurgeDiscardsALateAnswerOfTheExchangeBefore) {
  const int device = AddDevice(0x31);
  sim.SetFaults(device, {.AnswerDelayMs = 400});
  Open();
  ASSERT_EQ(Exchange(BuildInfoRequest(0x31), CheckPacket97, StandardExchangeOptions, 50), "");
  ASSERT_TRUE(sim.WaitForAnswers(1, 2s));
  sim.SetFaults(device, {});
  EXPECT_EQ(CheckAnswer(Exchange(BuildWritePermissionRequest(0x31))).Status, TAnswerStatus::Ok);

  sim.SetFaults(device, {.AnswerDelayMs = 400});
  ASSERT_EQ(Exchange(BuildInfoRequest(0x31), CheckPacket97, StandardExchangeOptions, 50), "");
  ASSERT_TRUE(sim.WaitForAnswers(3, 2s));
  sim.SetFaults(device, {});
  const ByteString stale = Exchange(BuildWritePermissionRequest(0x31), CheckPacket97, 0);
  ByteString buffer = stale;
  EXPECT_EQ(ExtractPacket97(buffer, false), BuildPacket97(0x31, 1, 0, "HRW;hall"))
      << "without purging, the stale answer comes first";
}

TEST_F(ExchangeTimingTest, WithoutAValidatorTheWaitEndsByTheQuietLine) {
  AddDevice(0x31);
  Open();
  EXPECT_EQ(Exchange(BuildInfoRequest(0x31), nullptr), BuildPacket97(0x31, 1, 0, "HRW;hall"));
  EXPECT_GE(AfterLastByteMs(), 156);
}

TEST_F(ExchangeTimingTest, ComponentErrorsPassThrough) {
  AddDevice(0x31);
  Open();
  const ByteString tooLong(port.OutBufSize() + 100, 'x');
  EXPECT_THROW(Exchange(tooLong), EAfComPortError);
}

TEST(ExchangeSpeedTest, CharacterTimeIsTenBitTimes) {
  EXPECT_NEAR(CharTimeMsFromBaud(1200), 8.3333, 1e-4);
  EXPECT_NEAR(CharTimeMsFromBaud(9600), 1.0417, 1e-4);
  EXPECT_NEAR(CharTimeMsFromBaud(115200), 0.0868, 1e-4);
}

TEST(ExchangeSpeedTest, PortSpeedComesFromTheTableOrTheUserValue) {
  TAfComPort port;
  port.SetBaudRate(br57600);
  EXPECT_EQ(PortBaudRateValue(&port), 57600);
  port.SetUserBaudRate(250000);
  EXPECT_EQ(PortBaudRateValue(&port), 250000);
  EXPECT_NEAR(PortCharTimeMs(&port), 0.04, 1e-9);
}

}  // namespace
}  // namespace tarnel

namespace tarnel {
namespace {

// A speed the driver refused stays in the component's properties; the exchange must still end by its
// time-out rather than compute an infinite or negative deadline from it.
TEST_F(ExchangeTimingTest, UnusableSpeedStillEndsByTheTimeOut) {
  AddDevice(0x31);
  Open();
  for (int32_t speed : {1, 0}) {
    try {
      port.SetUserBaudRate(speed);
    } catch (const Exception&) {
      // The driver refuses; the port keeps its old line settings.
    }
  }
  ASSERT_EQ(PortBaudRateValue(&port), 0);
  Exchange(BuildInfoRequest(0x40));
  EXPECT_GE(ElapsedMs(), 500);
  EXPECT_LT(ElapsedMs(), 2000);
}

}  // namespace
}  // namespace tarnel

namespace tarnel {
namespace {

// What counts as the answer on a line shared with an echo, late answers and other devices.
class ExchangeAnswerTest : public ExchangeTest {
 protected:
  TAnswer Ask(const ByteString& Request) { return CheckAnswer(result = Exchange(Request), Request, false); }
  // An INFO request to "1" whose answer comes too late and lands in the next exchange.
  void LeaveALateAnswer(int Device) {
    sim.SetFaults(Device, {.AnswerDelayMs = 300});
    if (!port.Active()) Open();
    ASSERT_EQ(Exchange(BuildInfoRequest(0x31), CheckPacket97, StandardExchangeOptions, 50), "");
  }
  const ByteString info = BuildPacket97(0x31, 1, 0, "HRW;hall");
  ByteString result;
};

TEST_F(ExchangeAnswerTest, EchoIsPassedOverAndASilentDeviceKeepsItsTimeOut) {
  const int device = AddDevice(0x31);
  sim.SetFaults(device, {.Echo = true});
  Open();
  EXPECT_EQ(Ask(BuildInfoRequest(0x31)).Packet.Data, "HRW;hall");
  EXPECT_LT(AfterLastByteMs(), 140) << "ends at the answer after the echo";
  sim.SetFaults(device, {.Silent = true, .Echo = true});
  EXPECT_EQ(Ask(BuildInfoRequest(0x31)).Status, TAnswerStatus::NoAnswer);
  EXPECT_EQ(result, BuildInfoRequest(0x31));
  EXPECT_GE(ElapsedMs(), 500) << "the echo does not end the wait";
}

TEST_F(ExchangeAnswerTest, LateAnswersAreNotCreditedToAnotherAddressOrRequest) {
  const int device = AddDevice(0x31);
  LeaveALateAnswer(device);
  EXPECT_EQ(Ask(BuildInfoRequest('A')).Status, TAnswerStatus::NoAnswer);
  ASSERT_EQ(result, info) << "the late answer landed in the exchange for \"A\"";
  LeaveALateAnswer(device);
  sim.SetFaults(device, {.AnswerDelayMs = 400});  // the values answer comes after the late INFO answer
  EXPECT_EQ(Ask(BuildReadValuesRequest(0x31, TDeviceFamily::TempHumidityDew)).Packet.Tag, 2);
  EXPECT_EQ(result.substr(0, info.size()), info);
}

TEST_F(ExchangeAnswerTest, AnswerFrom255IsNotTheAnswerFor49) {
  sim.SetFaults(AddDevice(49), {.AnswerAddress = 255});
  Open();
  EXPECT_EQ(Ask(BuildInfoRequest(49)).Status, TAnswerStatus::NoAnswer);
  EXPECT_EQ(result, BuildPacket97(255, 1, 0, "HRW;hall"));
}

// Both take the new address and answer at once: a damaged answer, never a success.
TEST_F(ExchangeAnswerTest, TwoDevicesWithOneSerialNumberGiveADamagedAnswer) {
  AddDevice(0x31);
  AddDevice(0x32);
  Open();
  const TAnswerStatus status = Ask(BuildSetAddressBySerialRequest(5, {1234, 42})).Status;
  EXPECT_TRUE(status == TAnswerStatus::NoPacket || status == TAnswerStatus::Invalid) << ToHex(result);
}

// A change sent to every device hears the whole time-out: a second device answering 120 ms after the first
// is in the result, and so is a lone answer, after which nothing else came.
TEST_F(ExchangeAnswerTest, ListeningHearsEveryDeviceThatAnswersWithinTheTimeOut) {
  AddDevice(0x31);
  sim.SetFaults(AddDevice(0x32), {.AnswerDelayMs = 120});
  Open();
  const ByteString request = BuildBurnSerialRequest({1234, 42}, {2026, 12, 9});
  const auto listen = [&] {
    started = Clock::now();
    result = ExchangeListening(&line, request, 500, StandardExchangeOptions);
    returned = Clock::now();
    return CheckAnswer(result, request);
  };
  const TAnswer both = listen();
  EXPECT_EQ(both.Status, TAnswerStatus::Ok);
  EXPECT_TRUE(both.MoreFollows);
  EXPECT_EQ(result.size(), 2 * BuildPacket97(0x31, 0xEA, 0, "").size()) << ToHex(result);
  EXPECT_GE(ElapsedMs(), 500);
  sim.SetFaults(1, {.Silent = true});
  const TAnswer one = listen();
  EXPECT_EQ(one.Status, TAnswerStatus::Ok);
  EXPECT_FALSE(one.MoreFollows);
  EXPECT_GE(ElapsedMs(), 500);
  EXPECT_LT(ElapsedMs(), 2000);
}

// Noise that never stops ends by the hard bound (666 ms at 9600 bit/s); a long answer is not cut by it.
TEST_F(ExchangeAnswerTest, BabblingLineEndsWithinTheBoundButALongAnswerIsWhole) {
  const int babbler = AddDevice(0x40);
  sim.SetFaults(babbler, {.Silent = true, .BabbleIntervalMs = 100});
  AddDevice(0x31, 9600, "HRW;" + std::string(1000, 'x'));
  Open();
  EXPECT_EQ(Ask(BuildInfoRequest(0x20)).Status, TAnswerStatus::NoPacket);
  EXPECT_LT(ElapsedMs(), 3000);
  sim.SetFaults(babbler, {.Silent = true});
  ASSERT_TRUE(sim.WaitIdle(1s));
  EXPECT_EQ(Ask(BuildInfoRequest(0x31)).Packet.Data.size(), 1004u);
  EXPECT_GT(ElapsedMs(), 1000) << "1013 bytes at 9600 bit/s";
}

}  // namespace
}  // namespace tarnel

namespace tarnel {
namespace {

// The component's side of the exchange's port: the wait sees bytes that came before it, and sleeps its
// time on a quiet line or a closed port.
class ExchangePortAdapterTest : public ExchangeTest {
 protected:
  double WaitMs(int32_t TimeoutMs) {
    const Clock::time_point from = Clock::now();
    line.WaitForArrival(TimeoutMs);
    return MsBetween(from, Clock::now());
  }
};

TEST_F(ExchangePortAdapterTest, WaitEndsAtOnceForBytesAlreadyThereAndLastsItsTimeOtherwise) {
  AddDevice(0x31, 115200);
  EXPECT_FALSE(line.Active());
  EXPECT_GE(WaitMs(30), 25) << "closed: the time passes";
  Open(br115200);
  EXPECT_EQ(line.Speed(), 115200);
  EXPECT_GE(WaitMs(30), 25) << "nothing waiting";
  line.Write(BuildInfoRequest(0x31));
  ASSERT_TRUE(sim.WaitForAnswers(1, 1s));
  // The whole answer waits in the driver before the wait begins.
  const ByteString answer = BuildPacket97(0x31, 1, 0, "HRW;hall");
  const Clock::time_point deadline = Clock::now() + 5s;
  while (line.BytesWaiting() < static_cast<int32_t>(answer.size()) && Clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(line.BytesWaiting(), static_cast<int32_t>(answer.size()));
  EXPECT_LT(WaitMs(1000), 200);
  EXPECT_EQ(line.ReadAll(), answer);
  EXPECT_GE(WaitMs(30), 25) << "read out: quiet again";
}

}  // namespace
}  // namespace tarnel
