#include "cli/CliArguments.h"

#include <algorithm>
#include <charconv>

#include "protocol/Instructions.h"
#include "protocol/Packet97.h"

namespace tarnel::cli {
namespace {

struct TCommandForm {
  std::string Name;
  std::string Synopsis;
  std::string Summary;
  std::vector<std::string> ValueOptions;
  std::vector<std::string> FlagOptions;
};

const std::vector<std::string> kLineValues = {"--port", "--speed"};

const std::vector<TCommandForm>& CommandForms() {
  static const std::vector<TCommandForm> forms = {
      {"ports",
       "tarnel ports [--json]",
       "Lists the serial ports with their device files, USB adapters' description, VID:PID, serial number "
       "and\n"
       "/dev/serial/by-id name, and whether each is free, in use or not permitted.",
       {},
       {"--json"}},
      {"find",
       "tarnel find --port P [--speed BPS | --all-speeds] [--json]",
       "Asks the one device on the line for its address (universal identification request). With\n"
       "--all-speeds every device speed is tried, the common ones first, up to the first answer.",
       kLineValues,
       {"--all-speeds", "--json"}},
      {"scan",
       "tarnel scan --port P [--speed BPS[,BPS...] | --all-speeds] [--addresses LIST] [--timeout MS]",
       "Asks every address (default 0-253; LIST like 10-20,49) at each speed for its INFO text and lists "
       "what\n"
       "answered, collisions and damaged answers included. --timeout is how long each address has to begin\n"
       "its answer (default 100 ms). Ctrl+C ends the scan with what was found so far.",
       {"--port", "--speed", "--addresses", "--timeout"},
       {"--all-speeds", "--json"}},
      {"info",
       "tarnel info --port P [--speed BPS] --address A [--json]",
       "Reads the INFO text of the device at address A.",
       {"--port", "--speed", "--address"},
       {"--json"}},
      {"values",
       "tarnel values --port P [--speed BPS] --address A [--json]",
       "Reads the INFO text and the measured values of the device at address A, as the window's log shows\n"
       "them.",
       {"--port", "--speed", "--address"},
       {"--json"}},
      {"set-address",
       "tarnel set-address --port P [--speed BPS] (--address A [--new-speed BPS] | --serial NNNN/NNNN)\n"
       "                   --new-address B [--force] [--no-verify] [--log FILE] [--json]",
       "Gives the device at address A (or the one with the serial number) the new address B, and with\n"
       "--new-speed a new speed. The new address is asked first: when a device already answers there,\n"
       "nothing is sent (exit 3) unless --force. Then, unless --no-verify, the device is asked at its new\n"
       "address and speed: \"verified\", \"not done\" or \"unknown\" (another device answers there).",
       {"--port", "--speed", "--address", "--new-address", "--new-speed", "--serial", "--log"},
       {"--force", "--no-verify", "--json"}},
      {"burn-serial",
       "tarnel burn-serial --port P [--speed BPS] (--serial NNNN/NNNN | --serials FILE.csv | --next "
       "NNNN/NNNN\n"
       "                   [--count N]) [--date YYYY-MM-DD] [--wait-timeout S] [--yes] [--log FILE] [--json]",
       "Writes a serial number and a date (default today) into the device. The request goes to the "
       "universal\n"
       "address: every device on the line takes it, so keep one device on the line at a time. A serial\n"
       "number is four digits, a separator (/, \\ or -) and four digits. --serials takes the numbers from "
       "the\n"
       "first column of a CSV file, --next counts up from a number.\n"
       "Between two numbers tarnel waits for the next device: the one just written has to leave the line "
       "(it\n"
       "stops answering) and a device has to answer again (or a device with another address or INFO text\n"
       "answers instead). Ctrl+C stops the run; after --wait-timeout seconds (default " +
           std::to_string(DefaultDeviceWaitSeconds) +
           ") without the\n"
           "next device the run stops with status 1, and the numbers left are not written.\n"
           "Each write is confirmed on the terminal; --yes confirms them all (for scripts), and still waits "
           "for\n"
           "each next device.",
       {"--port", "--speed", "--serial", "--serials", "--next", "--count", "--date", "--wait-timeout",
        "--log"},
       {"--yes", "--json"}},
  };
  return forms;
}

const TCommandForm* FormOf(const std::string& Name) {
  for (const TCommandForm& form : CommandForms())
    if (form.Name == Name) return &form;
  return nullptr;
}

bool Contains(const std::vector<std::string>& List, const std::string& Item) {
  return std::find(List.begin(), List.end(), Item) != List.end();
}

std::optional<long> Number(const std::string& Text) {
  long value = 0;
  int base = 10;
  const char* begin = Text.data();
  const char* end = Text.data() + Text.size();
  if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    base = 16;
    begin += 2;
  }
  const auto [ptr, error] = std::from_chars(begin, end, value, base);
  if (error != std::errc() || ptr != end || begin == end) return std::nullopt;
  return value;
}

std::vector<std::string> Split(const std::string& Text, char Separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at = Text.find(Separator); at != std::string::npos; at = Text.find(Separator, from)) {
    parts.push_back(Text.substr(from, at - from));
    from = at + 1;
  }
  parts.push_back(Text.substr(from));
  return parts;
}

std::string SpeedList() {
  std::string list;
  for (const int32_t speed : DeviceSpeeds)
    list += (list.empty() ? "" : ", ") + std::to_string(speed);
  return list;
}

}  // namespace

std::optional<std::string> TCliArguments::Value(const std::string& Option) const {
  const auto it = Values.find(Option);
  if (it == Values.end()) return std::nullopt;
  return it->second;
}

const std::vector<std::string>& CommandNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const TCommandForm& form : CommandForms())
      list.push_back(form.Name);
    return list;
  }();
  return names;
}

TCliArguments ParseCliArguments(const std::vector<std::string>& Args) {
  TCliArguments result;
  const TCommandForm* form = nullptr;
  for (size_t i = 0; i < Args.size(); ++i) {
    const std::string& arg = Args[i];
    if (arg == "--help" || arg == "-h") {
      result.Help = true;
      continue;
    }
    if (arg == "--version" && !form) {
      result.Version = true;
      continue;
    }
    if (!form) {
      form = FormOf(arg);
      if (!form) throw EUsage("unknown command \"" + arg + "\" (see tarnel --help)");
      result.Command = arg;
      continue;
    }
    std::string option = arg;
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      option = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    if (Contains(form->FlagOptions, option) && !inlineValue) {
      result.Flags.insert(option);
    } else if (Contains(form->ValueOptions, option)) {
      if (!inlineValue && i + 1 >= Args.size()) throw EUsage(option + " needs a value");
      result.Values[option] = inlineValue ? *inlineValue : Args[++i];
    } else if (option.rfind("-", 0) == 0) {
      throw EUsage("tarnel " + form->Name + " takes no option " + option + " (see tarnel " + form->Name +
                   " --help)");
    } else {
      throw EUsage("unexpected argument \"" + arg + "\"");
    }
  }
  return result;
}

std::string Usage() {
  std::string text =
      "Usage: tarnel COMMAND [OPTIONS]\n"
      "Sets up devices that speak the Tarnel packet protocol (format 97) on a serial line.\n\nCommands:\n";
  for (const TCommandForm& form : CommandForms())
    text += "  " + form.Synopsis + "\n";
  text +=
      "\nA port P is COMn (as the devices' manuals and the window name it) or a device file such as\n"
      "/dev/ttyUSB0 or a /dev/serial/by-id name. The speed is in bit/s, one of " +
      SpeedList() +
      "; the default is 9600.\nAddresses are decimal (49) or hexadecimal (0x31); the window shows address 49 "
      "as "
      "\"1\".\n\n"
      "Every command takes --json (one JSON object per result, one per line). --log FILE (or the "
      "environment\n"
      "variable TARNEL_LOG) appends one JSON line for every device a command changed.\n\n"
      "Exit status: 0 done, 1 no answer, 2 bad arguments, 3 refused (or not done), 4 port error,\n"
      "5 unclear answer (damaged, several devices answered, or the change could not be verified),\n"
      "130 interrupted.\n\n"
      "tarnel COMMAND --help tells more of each command; tarnel --version prints the version.\n";
  return text;
}

std::string CommandUsage(const std::string& Command) {
  const TCommandForm* form = FormOf(Command);
  if (!form) return Usage();
  return "Usage: " + form->Synopsis + "\n\n" + form->Summary + "\n\nSee tarnel --help for ports, speeds, " +
         "addresses, --json, --log and the exit status.\n";
}

uint8_t ParseAddress(const std::string& Option, const std::string& Text, uint8_t Highest) {
  const std::optional<long> value = Number(Text);
  if (!value || *value < 0 || *value > Highest)
    throw EUsage(Option + " must be an address 0-" + std::to_string(Highest) +
                 " (decimal, or hexadecimal as 0x31), not \"" + Text + "\"");
  return static_cast<uint8_t>(*value);
}

std::vector<uint8_t> ParseAddressList(const std::string& Option, const std::string& Text) {
  std::vector<uint8_t> addresses;
  for (const std::string& part : Split(Text, ',')) {
    const size_t dash = part.find('-');
    const uint8_t first = ParseAddress(Option, part.substr(0, dash), MaxDeviceAddress);
    const uint8_t last =
        dash == std::string::npos ? first : ParseAddress(Option, part.substr(dash + 1), MaxDeviceAddress);
    if (last < first) throw EUsage(Option + ": the range \"" + part + "\" runs backwards");
    for (int address = first; address <= last; ++address)
      if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
        addresses.push_back(static_cast<uint8_t>(address));
  }
  return addresses;
}

int32_t ParseDeviceSpeed(const std::string& Option, const std::string& Text) {
  const std::optional<long> value = Number(Text);
  if (!value || std::find(DeviceSpeeds.begin(), DeviceSpeeds.end(), *value) == DeviceSpeeds.end())
    throw EUsage(Option + " must be one of the device speeds " + SpeedList() + ", not \"" + Text + "\"");
  return static_cast<int32_t>(*value);
}

std::vector<int32_t> ParseSpeedList(const std::string& Option, const std::string& Text) {
  std::vector<int32_t> speeds;
  for (const std::string& part : Split(Text, ',')) {
    const int32_t speed = ParseDeviceSpeed(Option, part);
    if (std::find(speeds.begin(), speeds.end(), speed) == speeds.end()) speeds.push_back(speed);
  }
  return speeds;
}

int32_t ParseMilliseconds(const std::string& Option, const std::string& Text) {
  const std::optional<long> value = Number(Text);
  if (!value || *value < 1 || *value > 60000)
    throw EUsage(Option + " must be a number of milliseconds 1-60000, not \"" + Text + "\"");
  return static_cast<int32_t>(*value);
}

int ParseSeconds(const std::string& Option, const std::string& Text) {
  const std::optional<long> value = Number(Text);
  if (!value || *value < 1 || *value > 86400)
    throw EUsage(Option + " must be a number of seconds 1-86400, not \"" + Text + "\"");
  return static_cast<int>(*value);
}

int ParseCount(const std::string& Option, const std::string& Text) {
  const std::optional<long> value = Number(Text);
  if (!value || *value < 1 || *value > 100000)
    throw EUsage(Option + " must be a count 1-100000, not \"" + Text + "\"");
  return static_cast<int>(*value);
}

}  // namespace tarnel::cli
