#include "sim/CommandLine.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <sstream>

#include "common/Exception.h"
#include "sim/Values.h"

namespace tarnel::sim {

namespace {

constexpr long MaxSpeed = 4000000;
constexpr size_t MaxInfoLength = 1000;

long ParseInteger(const std::string& Text, long Low, long High, const std::string& What) {
  size_t used = 0;
  long value = 0;
  try {
    value = std::stol(Text, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != Text.size() || value < Low || value > High)
    throw Exception(What + " must be a whole number from " + std::to_string(Low) + " to " +
                    std::to_string(High) + ", not \"" + Text + "\"");
  return value;
}

std::vector<double> ParseNumbers(const std::string& Text) {
  std::vector<double> numbers;
  std::stringstream in(Text);
  std::string item;
  while (std::getline(in, item, ',')) {
    size_t used = 0;
    try {
      numbers.push_back(std::stod(item, &used));
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != item.size())
      throw Exception("--values takes numbers separated by commas, not \"" + Text + "\"");
  }
  return numbers;
}

// "1234/0042", "1234\0042" or "1234-0042": two groups of digits with one separator between them.
TSerialNumber ParseSerial(const std::string& Text) {
  const size_t separator = Text.find_first_not_of("0123456789");
  if (separator == std::string::npos || separator == 0)
    throw Exception("--serial takes two groups like 1234/0042, not \"" + Text + "\"");
  const auto n1 = ParseInteger(Text.substr(0, separator), 0, 65535, "--serial group 1");
  const auto n2 = ParseInteger(Text.substr(separator + 1), 0, 65535, "--serial group 2");
  return TSerialNumber{static_cast<uint16_t>(n1), static_cast<uint16_t>(n2)};
}

void ApplyFault(TDeviceFaults& Faults, const std::string& Text) {
  const size_t equals = Text.find('=');
  const std::string name = Text.substr(0, equals);
  const std::optional<std::string> value =
      equals == std::string::npos ? std::nullopt : std::optional<std::string>(Text.substr(equals + 1));
  if (name == "silent" && !value)
    Faults.Silent = true;
  else if (name == "bad-checksum" && !value)
    Faults.BadChecksum = true;
  else if (name == "echo" && !value)
    Faults.Echo = true;
  else if (name == "lost" && !value)
    Faults.LostAnswer = true;
  else if (name == "code" && value)
    Faults.RefuseCode = static_cast<uint8_t>(ParseInteger(*value, 1, 255, "code"));
  else if (name == "delay" && value)
    Faults.AnswerDelayMs = static_cast<int>(ParseInteger(*value, 0, 60000, "delay"));
  else if (name == "split" && value)
    Faults.SplitGapMs = static_cast<int>(ParseInteger(*value, 1, 60000, "split"));
  else if (name == "babble" && value)
    Faults.BabbleIntervalMs = static_cast<int>(ParseInteger(*value, 1, 60000, "babble"));
  else if (name == "answer-address" && value)
    Faults.AnswerAddress = static_cast<uint8_t>(ParseInteger(*value, 0, 255, "answer-address"));
  else if (name == "stray") {
    const ByteString byte = value ? ParseHexBytes(*value) : ByteString(1, '\0');
    if (byte.size() != 1) throw Exception("stray takes one byte in hexadecimal, e.g. stray=FF");
    Faults.StrayByte = true;
    Faults.StrayValue = static_cast<uint8_t>(byte[0]);
  } else {
    throw Exception("unknown fault \"" + Text + "\"; see --help");
  }
}

// Options that describe one device, gathered until the next --device.
struct TDeviceArgs {
  TDeviceConfig Config;
  std::optional<std::vector<double>> Numbers;
  std::optional<ByteString> Data;

  TDeviceConfig Finish() const {
    TDeviceConfig config = Config;
    if (config.Info.size() > MaxInfoLength) throw Exception("--info is longer than 1000 characters");
    if (Data)
      config.Values = *Data;
    else if (Numbers)
      config.Values = EncodeFamilyValues(FamilyOfModel(ModelFromInfo(config.Info)), *Numbers);
    return config;
  }
};

class TParser {
 public:
  explicit TParser(const std::vector<std::string>& Args) : FArgs(Args) {}

  TSimCommandLine Parse() {
    while (FNext < FArgs.size())
      Option(FArgs[FNext++]);
    FlushDevice();
    if (FResult.Help) return FResult;
    if (FResult.ComDir.empty()) throw Exception("--com-dir is missing");
    if (FResult.ComNumber == 0) throw Exception("--com is missing");
    if (FResult.Devices.empty()) throw Exception("no device given; add --device ADDRESS");
    return FResult;
  }

 private:
  const std::string& Value(const std::string& Option) {
    if (FNext >= FArgs.size()) throw Exception(Option + " needs a value");
    return FArgs[FNext++];
  }

  TDeviceArgs& Current(const std::string& Option) {
    if (!FDevice) throw Exception(Option + " must follow the --device it belongs to");
    return *FDevice;
  }

  void FlushDevice() {
    if (FDevice) FResult.Devices.push_back(FDevice->Finish());
    FDevice.reset();
  }

  void Option(const std::string& Name) {
    if (Name == "--help" || Name == "-h")
      FResult.Help = true;
    else if (Name == "--com-dir")
      FResult.ComDir = Value(Name);
    else if (Name == "--com")
      FResult.ComNumber = static_cast<int>(ParseInteger(Value(Name), 1, 255, Name));
    else if (Name == "--log")
      FResult.LogPath = Value(Name);
    else if (Name == "--device")
      NewDevice(Value(Name));
    else
      DeviceOption(Name);
  }

  void NewDevice(const std::string& Address) {
    FlushDevice();
    FDevice.emplace();
    FDevice->Config.Address =
        static_cast<uint8_t>(ParseInteger(Address, 0, MaxDeviceAddress, "--device address"));
  }

  void DeviceOption(const std::string& Name) {
    if (Name == "--speed")
      Current(Name).Config.Speed = static_cast<int32_t>(ParseInteger(Value(Name), 1, MaxSpeed, Name));
    else if (Name == "--serial")
      Current(Name).Config.Serial = ParseSerial(Value(Name));
    else if (Name == "--info")
      Current(Name).Config.Info = Value(Name);
    else if (Name == "--model")
      Current(Name).Config.Info = Value(Name) + ";Tarnel simulated device";
    else if (Name == "--values")
      Current(Name).Numbers = ParseNumbers(Value(Name));
    else if (Name == "--data")
      Current(Name).Data = ParseHexBytes(Value(Name));
    else if (Name == "--fault")
      ApplyFault(Current(Name).Config.Faults, Value(Name));
    else
      throw Exception("unknown option \"" + Name + "\"; see --help");
  }

  const std::vector<std::string>& FArgs;
  size_t FNext = 0;
  TSimCommandLine FResult;
  std::optional<TDeviceArgs> FDevice;
};

std::string FaultText(const TDeviceFaults& Faults) {
  std::string text;
  const auto add = [&text](const std::string& Item) { text += (text.empty() ? "" : " ") + Item; };
  if (Faults.Silent) add("silent");
  if (Faults.BadChecksum) add("bad-checksum");
  if (Faults.LostAnswer) add("lost");
  if (Faults.RefuseCode) add("code=" + std::to_string(Faults.RefuseCode));
  if (Faults.AnswerDelayMs) add("delay=" + std::to_string(Faults.AnswerDelayMs));
  if (Faults.SplitGapMs) add("split=" + std::to_string(Faults.SplitGapMs));
  if (Faults.Echo) add("echo");
  if (Faults.StrayByte) add("stray=" + HexOf(ByteString(1, static_cast<char>(Faults.StrayValue))));
  if (Faults.BabbleIntervalMs) add("babble=" + std::to_string(Faults.BabbleIntervalMs));
  if (Faults.AnswerAddress) add("answer-address=" + std::to_string(*Faults.AnswerAddress));
  return text;
}

}  // namespace

TSimCommandLine ParseSimCommandLine(const std::vector<std::string>& Args) {
  return TParser(Args).Parse();
}

std::string SimUsage() {
  return R"(Usage: tarnel-devsim --com-dir DIR --com N [--log FILE|-] DEVICE...

Plays Tarnel devices on a pseudo-terminal linked as DIR/COM<N>. Start the setup tool with
TARNEL_COM_DIR=DIR (printed at start) and open COM N. Stops on Ctrl+C or SIGTERM, removing the link.

DEVICE:  --device ADDRESS     a new device at ADDRESS (0..253); the options after it describe it:
  --speed BPS                 its line speed in bit/s (default 9600)
  --serial NNNN/NNNN          its serial number, two groups (default 0000/0000)
  --model NAME                INFO text "NAME;Tarnel simulated device" (default model HRW)
  --info TEXT                 the whole INFO text; the model is the part before the first ';'
  --values N,N,...            measured values in the model's layout: HRW temperature,humidity,dew point;
                              VKM7 temperature; KQ6 four channel values (0..131.07)
  --data HEX                  the raw data answered to 0x51 instead, e.g. 0180 00FA
  --fault F                   repeatable: silent, bad-checksum, lost (carries requests out, answers never
                              arrive), code=N (refuses with result code N),
                              delay=MS, split=MS (answer in two halves MS apart), echo (requests come back
                              first), stray[=HEX] (one noise byte before the answer, default 00),
                              babble=MS (one 00 byte every MS from the start, asked or not),
                              answer-address=N (answers carry address N, 0..255, not its own)

--log FILE appends one JSON object a line for every request heard, every answer sent and every change of
a device's state; --log - writes them to standard output.
)";
}

std::string DescribeDevice(int Index, const TDeviceState& State) {
  std::string line = "device " + std::to_string(Index) + ": address " + std::to_string(State.Address);
  if (std::isprint(State.Address)) line += std::string(" (\"") + static_cast<char>(State.Address) + "\")";
  char serial[32];
  std::snprintf(serial, sizeof serial, "%04u\\%04u", State.Serial.N1, State.Serial.N2);
  line += ", " + std::to_string(State.Speed) + " bit/s, serial " + serial + ", INFO \"" + State.Info + "\"";
  if (!State.Values.empty()) line += ", values " + HexOf(State.Values);
  const std::string faults = FaultText(State.Faults);
  if (!faults.empty()) line += ", faults: " + faults;
  return line;
}

}  // namespace tarnel::sim
