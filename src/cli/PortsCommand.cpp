#include <string>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "serial/AfPortInfo.h"

namespace tarnel::cli {
namespace {

const char* ConditionName(TAfPortCondition Condition) {
  switch (Condition) {
    case TAfPortCondition::Free:
      return "free";
    case TAfPortCondition::OpenHere:
      return "open";
    case TAfPortCondition::InUse:
      return "in use";
    case TAfPortCondition::NoPermission:
      return "no permission";
    case TAfPortCondition::NotSerial:
      return "not serial";
    case TAfPortCondition::Missing:
      break;
  }
  return "missing";
}

// Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "literal" + string chains here.
std::string AdapterText(const TAfPortDescription& Usb) {
  std::string text = Usb.Description;
  if (!Usb.VidPid.empty()) text.append(text.empty() ? "[" : " [").append(Usb.VidPid).append("]");
  if (!Usb.SerialNumber.empty()) text.append(" serial ").append(Usb.SerialNumber);
  if (!Usb.ById.empty()) text.append("  ").append(Usb.ById);
  return text;
}

}  // namespace

int RunPorts(const TCliArguments&, TOutput& Output) {
  if (const std::string problem = TAfPortInfo::ComDirProblem(); !problem.empty()) Output.Text(problem);
  int listed = 0;
  for (int number = 1; number <= kHighestComNumber; ++number) {
    const TAfPortCondition condition = TAfPortInfo::Inspect(number);
    if (condition == TAfPortCondition::Missing || condition == TAfPortCondition::NotSerial) continue;
    ++listed;
    const std::string path = TAfPortInfo::DevicePath(number);
    const TAfPortDescription usb = TAfPortInfo::Describe(number);
    Output.Object(TJsonLine()
                      .Add("port", "COM" + std::to_string(number))
                      .Add("device", path)
                      .Add("state", ConditionName(condition))
                      .Add("description", usb.Description)
                      .Add("vid_pid", usb.VidPid)
                      .Add("serial_number", usb.SerialNumber)
                      .Add("by_id", usb.ById));
    std::string line = "COM" + std::to_string(number);
    line.resize(7, ' ');
    line += path;
    if (line.size() < 26) line.resize(26, ' ');
    line += std::string("  ") + ConditionName(condition);
    if (const std::string adapter = AdapterText(usb); !adapter.empty()) line += "  " + adapter;
    Output.Text(line);
  }
  if (listed == 0) Output.Text("No serial ports found.");
  return ecDone;
}

}  // namespace tarnel::cli
