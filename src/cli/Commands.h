#pragma once

#include <cstdint>
#include <string>

#include "cli/CliArguments.h"
#include "cli/CliOutput.h"

namespace tarnel::cli {

// Each command: carries out what Arguments say, writes its results to Output and returns the exit status.
// Bad arguments throw EUsage, a port that cannot be had EPortError.
int RunPorts(const TCliArguments& Arguments, TOutput& Output);
int RunFind(const TCliArguments& Arguments, TOutput& Output);
int RunScan(const TCliArguments& Arguments, TOutput& Output);
int RunInfo(const TCliArguments& Arguments, TOutput& Output, bool WithValues);
int RunSetAddress(const TCliArguments& Arguments, TOutput& Output);
int RunBurnSerial(const TCliArguments& Arguments, TOutput& Output);

// What every command on a line needs: --port (required) and --speed (9600 when not given).
std::string PortOption(const TCliArguments& Arguments);
int32_t SpeedOption(const TCliArguments& Arguments);

}  // namespace tarnel::cli
