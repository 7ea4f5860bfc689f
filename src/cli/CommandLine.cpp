#include "cli/CommandLine.h"

#include <cstdio>
#include <exception>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "serial/AfComPort.h"

namespace tarnel::cli {
namespace {

int Dispatch(const TCliArguments& Arguments, TOutput& Output) {
  const std::string& command = Arguments.Command;
  if (command == "ports") return RunPorts(Arguments, Output);
  if (command == "find") return RunFind(Arguments, Output);
  if (command == "scan") return RunScan(Arguments, Output);
  if (command == "info") return RunInfo(Arguments, Output, false);
  if (command == "values") return RunInfo(Arguments, Output, true);
  if (command == "set-address") return RunSetAddress(Arguments, Output);
  return RunBurnSerial(Arguments, Output);
}

int Fail(int Code, const std::string& Message) {
  std::fprintf(stderr, "tarnel: %s\n", OneLine(Message).c_str());
  return Code;
}

}  // namespace

std::string PortOption(const TCliArguments& Arguments) {
  const auto port = Arguments.Value("--port");
  if (!port || port->empty())
    throw EUsage("tarnel " + Arguments.Command + " needs --port COMn or a device file");
  return *port;
}

int32_t SpeedOption(const TCliArguments& Arguments) {
  const auto speed = Arguments.Value("--speed");
  return speed ? ParseDeviceSpeed("--speed", *speed) : 9600;
}

int RunCommandLine(const std::vector<std::string>& Args, const std::string& Version) {
  try {
    const TCliArguments arguments = ParseCliArguments(Args);
    if (arguments.Help) {
      std::fputs((arguments.Command.empty() ? Usage() : CommandUsage(arguments.Command)).c_str(), stdout);
      return ecDone;
    }
    if (arguments.Version) {
      std::printf("tarnel %s\n", Version.c_str());
      return ecDone;
    }
    if (arguments.Command.empty()) return Fail(ecBadArguments, "no command given (see tarnel --help)");
    CatchInterrupts();
    TOutput output(arguments.Has("--json"));
    return Dispatch(arguments, output);
  } catch (const EUsage& e) {
    return Fail(ecBadArguments, e.what());
  } catch (const EAbort&) {
    return ecInterrupted;
  } catch (const std::exception& e) {
    // The port's own errors: it could not be opened or set, or it was lost on the way.
    return Fail(ecPortError, e.what());
  }
}

}  // namespace tarnel::cli
