#include "sim/DeviceSimulator.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "../protocol/HexBytes.h"
#include "LinePort.h"
#include "protocol/Instructions.h"
#include "protocol/Packet97.h"
#include "sim/Values.h"

namespace tarnel::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Joined;
using test::TArrival;
using test::TLinePort;
using test::ToHex;

std::string MakeTempDir() {
  char pattern[] = "/tmp/tarnel-sim-test-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) throw std::runtime_error("mkdtemp failed");
  return dir;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class SimulatorTest : public ::testing::Test {
 protected:
  SimulatorTest() : dir(MakeTempDir()) {}
  ~SimulatorTest() override {
    sim.Stop();
    std::filesystem::remove_all(dir);
  }

  int AddDevice(uint8_t Address, int32_t Speed, const std::string& Info = "HRW;test") {
    TDeviceConfig config;
    config.Address = Address;
    config.Speed = Speed;
    config.Serial = {1234, 42};
    config.Info = Info;
    return sim.AddDevice(config);
  }

  TLinePort& Open(int Speed) {
    if (!sim.Running()) sim.Start(dir, 1);
    port = std::make_unique<TLinePort>(sim.LinkPath(), Speed);
    return *port;
  }

  std::string dir;
  TDeviceSimulator sim;
  std::unique_ptr<TLinePort> port;
};

TEST_F(SimulatorTest, LinkLeadsToThePseudoTerminalAndGoesAwayOnStop) {
  AddDevice(1, 9600);
  sim.Start(dir, 4);
  EXPECT_EQ(sim.LinkPath(), dir + "/COM4");
  EXPECT_EQ(std::filesystem::read_symlink(dir + "/COM4").string(), sim.SlavePath());
  EXPECT_THROW(sim.Start(dir, 5), Exception);
  sim.Stop();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir + "/COM4")));
  EXPECT_FALSE(sim.Running());
  sim.Start(dir, 4);
  EXPECT_EQ(CheckPacket97(TLinePort(sim.LinkPath(), 9600).Exchange(BuildInfoRequest(1))), 0) << "runs again";
}

TEST_F(SimulatorTest, StaleLinkIsReplacedButAPlainFileIsNot) {
  std::filesystem::create_symlink("/dev/pts/nonexistent", dir + "/COM1");
  std::ofstream(dir + "/COM2") << "not a link";
  EXPECT_THROW(sim.Start(dir, 2), Exception);
  EXPECT_FALSE(sim.Running());
  sim.Start(dir, 1);
  EXPECT_EQ(std::filesystem::read_symlink(dir + "/COM1").string(), sim.SlavePath());
}

TEST_F(SimulatorTest, DeviceAnswersAtThePortSpeedAndTheRequestIsRecorded) {
  AddDevice(0x31, 19200);
  const ByteString answer = Open(19200).Exchange(BuildInfoRequest(0x31));
  EXPECT_EQ(answer, BuildPacket97(0x31, 1, 0, "HRW;test"));
  EXPECT_EQ(sim.PortSpeed(), 19200);
  const auto requests = sim.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Bytes, BuildInfoRequest(0x31));
  EXPECT_EQ(requests[0].Speed, 19200);
  EXPECT_EQ(requests[0].HeardBy, std::vector<int>{0});
  ASSERT_TRUE(sim.WaitForAnswers(1, 2s));
  EXPECT_EQ(sim.Answers()[0].Answer, answer);
}

TEST_F(SimulatorTest, DeviceAtAnotherSpeedHearsNothing) {
  AddDevice(0x31, 9600);
  EXPECT_EQ(Open(19200).Exchange(BuildInfoRequest(0x31)), "");
  ASSERT_TRUE(sim.WaitForRequests(1, 2s));
  EXPECT_TRUE(sim.Requests()[0].HeardBy.empty());
  port->SetSpeed(9600);
  EXPECT_EQ(CheckPacket97(port->Exchange(BuildInfoRequest(0x31))), 0) << "heard once the speeds agree";
}

TEST_F(SimulatorTest, AnswerIsPacedAtTheLineSpeed) {
  AddDevice(0x31, 1200);
  TLinePort& line = Open(1200);
  const Clock::time_point sent = Clock::now();
  line.Write(BuildInfoRequest(0x31));
  const std::vector<TArrival> arrivals = line.Collect(300ms, 3s, 1s);
  ASSERT_FALSE(arrivals.empty());
  const ByteString answer = Joined(arrivals);
  ASSERT_EQ(answer.size(), 17u);
  // Lower bounds only: a late reader can merge arrivals, but no byte can come before it was sent.
  const double charMs = 1000.0 / 1200 * 10;
  const auto since = [&](Clock::time_point At) {
    return std::chrono::duration<double, std::milli>(At - sent).count();
  };
  EXPECT_GE(since(arrivals.front().At), 9 * charMs * 0.95)
      << "the answer starts once the request had its line time";
  EXPECT_GE(since(arrivals.back().At), (9 + 16) * charMs * 0.95);
  ASSERT_TRUE(sim.WaitForAnswers(1, 1s));
  const TAnswerRecord record = sim.Answers()[0];
  const double onLineMs =
      std::chrono::duration<double, std::milli>(record.FinishedAt - record.StartAt).count();
  EXPECT_GE(onLineMs, 16 * charMs * 0.99) << "17 bytes leave at ten bit times each";
  EXPECT_LE(onLineMs, 16 * charMs + 500);
}

TEST_F(SimulatorTest, NewAddressAndSpeedTakeEffectAfterTheAnswer) {
  AddDevice(0x31, 9600);
  TLinePort& line = Open(9600);
  EXPECT_EQ(ParsePacket97(line.Exchange(BuildWritePermissionRequest(0x31))).Code, 0);
  EXPECT_EQ(line.Exchange(BuildSetAddressSpeedRequest(0x31, 0x40, 10)), BuildPacket97(0x31, 1, 0, {}));
  ASSERT_TRUE(sim.WaitIdle(2s));
  const TDeviceState state = sim.Devices()[0];
  EXPECT_EQ(state.Address, 0x40);
  EXPECT_EQ(state.Speed, 115200);
  EXPECT_EQ(line.Exchange(BuildInfoRequest(0x40)), "") << "still at 9600: the device no longer hears";
  line.SetSpeed(115200);
  EXPECT_EQ(ParsePacket97(line.Exchange(BuildInfoRequest(0x40))).Address, 0x40);
}

TEST_F(SimulatorTest, SerialNumberBurnIsVisibleInTheState) {
  AddDevice(0x31, 9600);
  const ByteString answer = Open(9600).Exchange(BuildBurnSerialRequest({1, 2}, {2030, 1, 1}));
  EXPECT_EQ(CheckPacket97(answer), 0);
  const TDeviceState state = sim.Devices()[0];
  EXPECT_EQ(state.Serial.N1, 1);
  EXPECT_EQ(state.Serial.N2, 2);
  EXPECT_EQ(state.DateText(), "2030-01-01");
}

TEST_F(SimulatorTest, TwoDevicesAnsweringTogetherGiveNoise) {
  AddDevice(0x31, 9600);
  AddDevice(0x32, 9600, "VKM7;test");
  const ByteString line = Open(9600).Exchange(BuildFindDeviceRequest());
  ASSERT_FALSE(line.empty());
  EXPECT_NE(line[0], '*') << ToHex(line);
  ByteString buffer = line;
  EXPECT_EQ(ExtractPacket97(buffer, false), "");
  ASSERT_TRUE(sim.WaitForAnswers(2, 2s));
  EXPECT_TRUE(sim.Answers()[0].Collided);
  EXPECT_TRUE(sim.Answers()[1].Collided);
  EXPECT_EQ(sim.Requests()[0].HeardBy, (std::vector<int>{0, 1}));
}

TEST_F(SimulatorTest, EchoComesBeforeTheAnswer) {
  const int device = AddDevice(0x31, 9600);
  sim.SetFaults(device, {.Echo = true});
  const ByteString request = BuildInfoRequest(0x31);
  EXPECT_EQ(Open(9600).Exchange(request), request + BuildPacket97(0x31, 1, 0, "HRW;test"));
}

TEST_F(SimulatorTest, StrayByteComesBeforeTheAnswer) {
  const int device = AddDevice(0x31, 9600);
  sim.SetFaults(device, {.StrayByte = true, .StrayValue = 0xFF});
  EXPECT_EQ(Open(9600).Exchange(BuildInfoRequest(0x31)), "\xFF" + BuildPacket97(0x31, 1, 0, "HRW;test"));
}

TEST_F(SimulatorTest, SplitAnswerHasAGapInTheMiddle) {
  const int device = AddDevice(0x31, 115200);
  sim.SetFaults(device, {.SplitGapMs = 120});
  TLinePort& line = Open(115200);
  line.Write(BuildInfoRequest(0x31));
  const std::vector<TArrival> arrivals = line.Collect(300ms, 3s, 1s);
  const ByteString expected = BuildPacket97(0x31, 1, 0, "HRW;test");
  ASSERT_EQ(Joined(arrivals), expected);
  double longestGapMs = 0;
  size_t before = 0, bytesBeforeGap = 0;
  for (size_t i = 1; i < arrivals.size(); ++i) {
    before += arrivals[i - 1].Bytes.size();
    const double gap = std::chrono::duration<double, std::milli>(arrivals[i].At - arrivals[i - 1].At).count();
    if (gap > longestGapMs) longestGapMs = gap, bytesBeforeGap = before;
  }
  EXPECT_GE(longestGapMs, 60) << "120 ms on the line; a late reader sees less of it";
  EXPECT_EQ(bytesBeforeGap, expected.size() / 2);
}

TEST_F(SimulatorTest, DelayedAnswerComesLate) {
  const int device = AddDevice(0x31, 115200);
  sim.SetFaults(device, {.AnswerDelayMs = 250});
  TLinePort& line = Open(115200);
  const auto sent = std::chrono::steady_clock::now();
  line.Write(BuildInfoRequest(0x31));
  const std::vector<TArrival> arrivals = line.Collect(400ms, 3s, 1s);
  ASSERT_FALSE(arrivals.empty());
  EXPECT_GE(arrivals.front().At - sent, 240ms);
}

TEST_F(SimulatorTest, ToolClosingThePortNeitherStopsNorSpinsTheSimulator) {
  AddDevice(0x31, 9600);
  Open(9600).Close();
  const double cpuBefore = CpuSeconds();
  std::this_thread::sleep_for(500ms);
  EXPECT_LT(CpuSeconds() - cpuBefore, 0.2) << "the simulator's thread must sleep while the port is closed";
  EXPECT_EQ(CheckPacket97(Open(9600).Exchange(BuildInfoRequest(0x31))), 0);
}

TEST_F(SimulatorTest, LogHasOneJsonObjectPerEvent) {
  std::vector<std::string> lines;
  std::mutex mutex;
  sim.SetLog([&](const std::string& Line) {
    std::lock_guard lock(mutex);
    lines.push_back(Line);
  });
  AddDevice(0x31, 9600);
  Open(9600).Exchange(BuildBurnSerialRequest({1, 2}, {2030, 1, 1}));
  ASSERT_TRUE(sim.WaitIdle(2s));
  sim.Stop();
  std::lock_guard lock(mutex);
  const auto has = [&](const std::string& Part) {
    for (const std::string& line : lines)
      if (line.find(Part) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(has(R"("event":"request","speed":9600,"bytes":")" +
                  HexOf(BuildBurnSerialRequest({1, 2}, {2030, 1, 1})) + R"(","heard_by":[0])"));
  EXPECT_TRUE(
      has(R"("event":"state","device":0,"address":49,"speed":9600,"serial":[1,2],"date":"2030-01-01")"));
  EXPECT_TRUE(has(R"("event":"answer","device":0)"));
  for (const std::string& line : lines) {
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    EXPECT_EQ(line.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace tarnel::sim
