// tarnel-devsim: simulated Tarnel devices on a pseudo-terminal, for trying the setup tool without hardware.
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "sim/CommandLine.h"
#include "sim/DeviceSimulator.h"

namespace {

using namespace tarnel;

// Blocks SIGINT and SIGTERM in every thread so that main alone takes them with sigwait.
sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

int Run(const sim::TSimCommandLine& Options) {
  const sigset_t signals = StopSignals();
  sim::TDeviceSimulator simulator;
  for (const sim::TDeviceConfig& device : Options.Devices)
    simulator.AddDevice(device);
  if (!Options.LogPath.empty()) simulator.SetLog(sim::LogToFile(Options.LogPath));
  const std::string dir = std::filesystem::absolute(Options.ComDir).lexically_normal().string();
  simulator.Start(dir, Options.ComNumber);
  const std::vector<sim::TDeviceState> devices = simulator.Devices();
  for (size_t i = 0; i < devices.size(); ++i)
    std::fprintf(stderr, "%s\n", sim::DescribeDevice(static_cast<int>(i), devices[i]).c_str());
  std::fprintf(stderr, "COM%d is %s -> %s. Start the tool with:\n", Options.ComNumber,
               simulator.LinkPath().c_str(), simulator.SlavePath().c_str());
  std::printf("TARNEL_COM_DIR=%s\n", dir.c_str());
  std::fflush(stdout);
  int received = 0;
  sigwait(&signals, &received);
  simulator.Stop();
  std::fprintf(stderr, "Stopped; %s removed.\n", (dir + "/COM" + std::to_string(Options.ComNumber)).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const sim::TSimCommandLine options =
        sim::ParseSimCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (options.Help) {
      std::fputs(sim::SimUsage().c_str(), stdout);
      return 0;
    }
    return Run(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tarnel-devsim: %s\n", error.what());
    return 2;
  }
}
