#pragma once

#include <string>
#include <vector>

namespace tarnel::cli {

// The whole `tarnel` program after its start-up: parses Args (the arguments after the program name), runs
// the command and returns the exit status; errors are one line on standard error.
int RunCommandLine(const std::vector<std::string>& Args, const std::string& Version);

}  // namespace tarnel::cli
