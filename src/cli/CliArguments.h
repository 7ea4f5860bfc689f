#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/Exception.h"

namespace tarnel::cli {

// A command line that cannot be carried out as written; the message names the offending argument.
class EUsage : public Exception {
 public:
  using Exception::Exception;
};

// What `tarnel` was asked to do: the command, and its options as given (values unchecked beyond their form).
struct TCliArguments {
  std::string Command;  // empty with --help or --version alone
  bool Help = false;
  bool Version = false;
  std::map<std::string, std::string> Values;  // "--port" -> "COM1"
  std::set<std::string> Flags;                // "--json", ...

  bool Has(const std::string& Option) const { return Values.count(Option) || Flags.count(Option); }
  std::optional<std::string> Value(const std::string& Option) const;
};

// The commands, and the options each takes.
const std::vector<std::string>& CommandNames();

// Splits the arguments after the program name; throws EUsage for an unknown command or option, an option
// without its value, or one the command does not take.
TCliArguments ParseCliArguments(const std::vector<std::string>& Args);

// `tarnel --help`, and `tarnel COMMAND --help`.
std::string Usage();
std::string CommandUsage(const std::string& Command);

// Option values: each throws EUsage naming Option when Text does not fit.
uint8_t ParseAddress(const std::string& Option, const std::string& Text, uint8_t Highest);
std::vector<uint8_t> ParseAddressList(const std::string& Option, const std::string& Text);
int32_t ParseDeviceSpeed(const std::string& Option, const std::string& Text);
std::vector<int32_t> ParseSpeedList(const std::string& Option, const std::string& Text);
int32_t ParseMilliseconds(const std::string& Option, const std::string& Text);
int ParseSeconds(const std::string& Option, const std::string& Text);
int ParseCount(const std::string& Option, const std::string& Text);

// How long burn-serial waits for the next device of a run unless --wait-timeout says otherwise: time to
// take one device off the line and connect the next, with room to spare.
inline constexpr int DefaultDeviceWaitSeconds = 300;

}  // namespace tarnel::cli
