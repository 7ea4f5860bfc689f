#pragma once

#include <string>
#include <vector>

#include "sim/Device.h"

namespace tarnel::sim {

// What the tarnel-devsim program was asked to do.
struct TSimCommandLine {
  bool Help = false;
  std::string ComDir;
  int ComNumber = 0;
  std::string LogPath;  // empty: no log; "-": standard output
  std::vector<TDeviceConfig> Devices;
};

// Parses the arguments after the program name; throws tarnel::Exception with a message naming the
// offending argument.
TSimCommandLine ParseSimCommandLine(const std::vector<std::string>& Args);

// The --help text.
std::string SimUsage();

// One line about a device for the start-up report: address (and its character), speed, serial, INFO, faults.
std::string DescribeDevice(int Index, const TDeviceState& State);

}  // namespace tarnel::sim
