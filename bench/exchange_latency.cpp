// How soon ExchangePacket returns once the last byte of a valid answer is on the line, less its designed
// 10 ms closing pause, against a plain termios poll() client doing the same round trip in the same run.
// One simulated device at 115200 bit/s; the two clients take turns in blocks so drift hits both alike.
// A second series cycles the answer's length through 0..12 extra bytes (87 us each), as devices with
// different answers and turnaround times do, so that no single phase of the answer's end against the
// exchange's wake-ups decides the figure. The closing pause is a sleep: what it oversleeps on the machine
// (see exchange_cost, which measures a plain sleep beside it) counts here.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "PlainClient.h"
#include "protocol/Exchange.h"
#include "protocol/Instructions.h"
#include "protocol/Packet97.h"
#include "serial/AfComPortExchange.h"
#include "sim/DeviceSimulator.h"

namespace {

using namespace tarnel;
using Clock = std::chrono::steady_clock;

constexpr int Exchanges = 1000;
constexpr int Block = 100;
constexpr double DesignedPauseMs = 10.0;
constexpr uint8_t Address = 0x31;
constexpr int LengthSteps = 13;

// The INFO text for exchange I of a series; its length cycles when the series varies it.
std::string InfoFor(int I, bool Vary) {
  return "HRW;bench" + std::string(Vary ? I % LengthSteps : 0, '.');
}

struct TSeries {
  bool Vary = false;
  std::vector<double> Exchange, Baseline;
};

double Ms(Clock::duration Span) {
  return std::chrono::duration<double, std::milli>(Span).count();
}

// The time the simulator wrote the last byte of its next answer.
Clock::time_point LastByteAt(const sim::TDeviceSimulator& Sim, size_t& Answered) {
  if (!Sim.WaitForAnswers(++Answered, std::chrono::seconds(2)))
    throw std::runtime_error("the device did not answer");
  return Sim.Answers()[Answered - 1].FinishedAt;
}

// The component's exchange, as the tool makes it; the designed pause is taken off.
void RunExchanges(sim::TDeviceSimulator& Sim, size_t& Answered, TSeries& Series) {
  TAfComPort port;
  port.SetComNumber(1);
  port.SetBaudRate(br115200);
  port.Open();
  TAfComPortExchange line(&port);
  const ByteString request = BuildInfoRequest(Address);
  for (int i = 0; i < Block; ++i) {
    Sim.SetInfo(0, InfoFor(i, Series.Vary));
    const ByteString result = ExchangePacket(&line, request, 500, CheckPacket97, StandardExchangeOptions);
    const Clock::time_point returned = Clock::now();
    if (CheckPacket97(result) != 0) throw std::runtime_error("the exchange returned no valid answer");
    Series.Exchange.push_back(Ms(returned - LastByteAt(Sim, Answered)) - DesignedPauseMs);
  }
  port.Close();
}

void RunBaseline(sim::TDeviceSimulator& Sim, size_t& Answered, TSeries& Series) {
  const int fd = ::open(Sim.LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + Sim.LinkPath());
  termios settings{};
  tcgetattr(fd, &settings);
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&settings, B115200);
  cfsetospeed(&settings, B115200);
  tcsetattr(fd, TCSANOW, &settings);
  const ByteString request = BuildInfoRequest(Address);
  for (int i = 0; i < Block; ++i) {
    Sim.SetInfo(0, InfoFor(i, Series.Vary));
    const ByteString answer = bench::PollRoundTrip(fd, request);
    const Clock::time_point done = Clock::now();
    if (CheckPacket97(answer) != 0) throw std::runtime_error("the baseline got no valid answer");
    Series.Baseline.push_back(Ms(done - LastByteAt(Sim, Answered)));
    // The exchange pauses 10 ms after each round trip; the baseline keeps the same pace.
    usleep(10000);
  }
  ::close(fd);
}

double Percentile(std::vector<double> Values, double Fraction) {
  std::sort(Values.begin(), Values.end());
  const size_t index = std::min(Values.size() - 1, static_cast<size_t>(Fraction * (Values.size() - 1) + 0.5));
  return Values[index];
}

void Report(const char* Title, const TSeries& Series) {
  const std::vector<double>& exchange = Series.Exchange;
  const std::vector<double>& baseline = Series.Baseline;
  const double median = Percentile(exchange, 0.5), p99 = Percentile(exchange, 0.99);
  const double baseMedian = Percentile(baseline, 0.5), baseP99 = Percentile(baseline, 0.99);
  std::printf("%s: %zu exchanges\n", Title, exchange.size());
  std::printf("  ExchangePacket (less the 10 ms pause): median %.3f ms  p99 %.3f ms\n", median, p99);
  std::printf("  termios poll() client (baseline):      median %.3f ms  p99 %.3f ms\n", baseMedian, baseP99);
  std::printf("  ratio exchange/baseline:               median %.1f  p99 %.1f\n", median / baseMedian,
              p99 / baseP99);
  std::printf("  exchange p90 %.3f  p95 %.3f  max %.3f ms; baseline p90 %.3f  p95 %.3f  max %.3f ms\n",
              Percentile(exchange, 0.9), Percentile(exchange, 0.95), Percentile(exchange, 1.0),
              Percentile(baseline, 0.9), Percentile(baseline, 0.95), Percentile(baseline, 1.0));
  std::printf("  target median <= 0.1 ms: %s   p99 <= 1 ms: %s\n", median <= 0.1 ? "met" : "MISSED",
              p99 <= 1.0 ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  char pattern[] = "/tmp/tarnel-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  setenv("TARNEL_COM_DIR", dir.c_str(), 1);
  sim::TDeviceSimulator simulator;
  simulator.AddDevice({.Address = Address, .Speed = 115200, .Info = InfoFor(0, false)});
  simulator.Start(dir, 1);
  TSeries fixed, varied;
  varied.Vary = true;
  size_t answered = 0;  // answers the simulator has finished so far, in both series
  try {
    for (int done = 0; done < Exchanges; done += Block) {
      for (TSeries* series : {&fixed, &varied}) {
        RunExchanges(simulator, answered, *series);
        RunBaseline(simulator, answered, *series);
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "exchange_latency: %s\n", error.what());
    return 1;
  }
  simulator.Stop();
  std::filesystem::remove_all(dir);
  std::printf("exchange_latency at 115200 bit/s: last answer byte written by the device -> call returned\n");
  Report("answer lengths varied (all phases)", varied);
  Report("one fixed answer (one phase)", fixed);
  return 0;
}
