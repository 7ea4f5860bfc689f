#include "serial/AfPortInfo.h"

#include "serial/platform/ComNames.h"

namespace tarnel {
namespace {

TAfPortCondition ConditionOf(platform::TPortCondition Condition) {
  switch (Condition) {
    case platform::TPortCondition::Free:
      return TAfPortCondition::Free;
    case platform::TPortCondition::OpenHere:
      return TAfPortCondition::OpenHere;
    case platform::TPortCondition::InUse:
      return TAfPortCondition::InUse;
    case platform::TPortCondition::NoPermission:
      return TAfPortCondition::NoPermission;
    case platform::TPortCondition::NotSerial:
      return TAfPortCondition::NotSerial;
    case platform::TPortCondition::Missing:
      break;
  }
  return TAfPortCondition::Missing;
}

TAfPortProbe ProbeOf(platform::TPortProbe Probe) {
  switch (Probe) {
    case platform::TPortProbe::Busy:
      return TAfPortProbe::Busy;
    case platform::TPortProbe::Free:
      return TAfPortProbe::Free;
    case platform::TPortProbe::Missing:
      break;
  }
  return TAfPortProbe::Missing;
}

}  // namespace

std::string TAfPortInfo::DevicePath(int ComNumber) {
  return platform::ComDevicePath(ComNumber);
}

std::string TAfPortInfo::ComDirProblem() {
  return platform::ComDirProblem();
}

TAfPortCondition TAfPortInfo::Inspect(int ComNumber) {
  return ConditionOf(platform::InspectComPort(ComNumber));
}

TAfPortProbe TAfPortInfo::Probe(int ComNumber) {
  return ProbeOf(platform::ProbeComPort(ComNumber));
}

}  // namespace tarnel
