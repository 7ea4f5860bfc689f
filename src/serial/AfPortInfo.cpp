#include "serial/AfPortInfo.h"

#include "serial/platform/ComNames.h"
#include "serial/platform/UsbAdapter.h"

namespace tarnel {

std::string TAfPortInfo::DevicePath(int ComNumber) {
  return platform::ComDevicePath(ComNumber);
}

std::string TAfPortInfo::ShownDeviceFile(int ComNumber) {
  return platform::ComDeviceFileShown(ComNumber);
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

TAfPortDescription TAfPortInfo::Describe(int ComNumber) {
  const platform::TUsbAdapter adapter = platform::DescribeComAdapter(ComNumber);
  return {platform::AdapterDescription(adapter), adapter.VidPid, adapter.SerialNumber, adapter.ById};
}

}  // namespace tarnel
