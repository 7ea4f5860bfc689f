// Wall time of the tarnel program's searches against simulated devices, beside the floor the design sets:
// every byte of every request and answer on the line (ten bit times each), the time-out of each address
// that stays silent, and the 10 ms pause after each exchange. The program's own start is in the wall time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "sim/DeviceSimulator.h"

namespace {

using namespace tarnel;
using Clock = std::chrono::steady_clock;

constexpr double kPauseMs = 10.0;
constexpr double kFindTimeoutMs = 500.0;
constexpr double kScanTimeoutMs = 100.0;
constexpr size_t kRequestBytes = 9;
const std::string kInfo = "HRW;Tarnel simulated device";
const size_t kAnswerBytes = 9 + kInfo.size();

double LineMs(size_t Bytes, int32_t Speed) {
  return Bytes * 10.0 * 1000.0 / Speed;
}

double SilentMs(int32_t Speed, double TimeoutMs) {
  return LineMs(kRequestBytes, Speed) + TimeoutMs + kPauseMs;
}

double AnsweredMs(int32_t Speed) {
  return LineMs(kRequestBytes + kAnswerBytes, Speed) + kPauseMs;
}

double WallMs(const std::vector<std::string>& Args) {
  std::vector<std::string> argv = {TARNEL_CLI_PATH};
  argv.insert(argv.end(), Args.begin(), Args.end());
  const auto start = Clock::now();
  const test::ProgramRun run = test::RunProgram(argv);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (run.Status != 0)
    std::fprintf(stderr, "tarnel %s exited %d: %s", Args[0].c_str(), run.Status, run.Errors.c_str());
  return ms;
}

void Report(const char* What, double Wall, double Floor) {
  std::printf("| %-34s | %9.1f ms | %9.1f ms | %5.3f |\n", What, Wall, Floor, Wall / Floor);
}

}  // namespace

int main() {
  char pattern[] = "/tmp/tarnel-cli-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  setenv("TARNEL_COM_DIR", dir.c_str(), 1);
  sim::TDeviceConfig device;
  device.Address = 49;
  device.Info = kInfo;
  std::printf("| what | wall | floor | ratio |\n|---|---|---|---|\n");

  // find --all-speeds with the device at the speed tried last: seven silent speeds first.
  {
    sim::TDeviceSimulator line;
    device.Speed = 1200;
    line.AddDevice(device);
    line.Start(dir, 1);
    double floor = AnsweredMs(1200);
    for (const int32_t speed : {9600, 19200, 115200, 57600, 38400, 4800, 2400})
      floor += SilentMs(speed, kFindTimeoutMs);
    double best = 1e18;
    for (int i = 0; i < 3; ++i)
      best = std::min(best, WallMs({"find", "--port", "COM1", "--all-speeds"}));
    Report("find --all-speeds (device at 1200)", best, floor);
  }

  for (const int32_t speed : {9600, 115200}) {
    sim::TDeviceSimulator line;
    device.Speed = speed;
    line.AddDevice(device);
    line.Start(dir, 1);
    const double scanFloor = 253 * SilentMs(speed, kScanTimeoutMs) + AnsweredMs(speed);
    const std::string name = "scan 0-253 at " + std::to_string(speed);
    Report(name.c_str(), WallMs({"scan", "--port", "COM1", "--speed", std::to_string(speed)}), scanFloor);
    line.Stop();
  }
  std::filesystem::remove_all(dir);
  return 0;
}
