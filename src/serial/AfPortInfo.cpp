#include "serial/AfPortInfo.h"

#include "serial/platform/ComNames.h"

namespace tarnel {

std::string TAfPortInfo::DevicePath(int ComNumber) {
  return platform::ComDevicePath(ComNumber);
}

std::string TAfPortInfo::ComDirProblem() {
  return platform::ComDirProblem();
}

TAfPortCondition TAfPortInfo::Inspect(int ComNumber) {
  return platform::InspectComPort(ComNumber);
}

TAfPortProbe TAfPortInfo::Probe(int ComNumber) {
  return platform::ProbeComPort(ComNumber);
}

}  // namespace tarnel
