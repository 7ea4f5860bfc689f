#include <array>
#include <string>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "engine/ValueLog.h"
#include "protocol/Decoders.h"

namespace tarnel::cli {
namespace {

const char* InfoStatusName(TAnswerStatus Status) {
  switch (Status) {
    case TAnswerStatus::NoAnswer:
      return "no answer";
    case TAnswerStatus::NoPacket:
    case TAnswerStatus::Invalid:
      return "damaged";
    case TAnswerStatus::Refused:
      return "refused";
    case TAnswerStatus::Ok:
      break;
  }
  return "ok";
}

const char* ValuesStatusName(TValuesStatus Status) {
  switch (Status) {
    case TValuesStatus::NotAsked:
      return "not asked";
    case TValuesStatus::Damaged:
      return "damaged";
    case TValuesStatus::NoAnswer:
      return "no answer";
    case TValuesStatus::Misshapen:
      return "misshapen";
    case TValuesStatus::Ok:
      break;
  }
  return "ok";
}

const char* FamilyName(TDeviceFamily Family) {
  switch (Family) {
    case TDeviceFamily::TempHumidityDew:
      return "HRW";
    case TDeviceFamily::Temperature:
      return "VKM7";
    case TDeviceFamily::AnalogChannels4:
      return "KQ6";
    case TDeviceFamily::None:
      break;
  }
  return "";
}

// The decoded values for JSON: the codec's own decoders on the data the reading kept.
TJsonLine ValuesObject(const TDeviceReading& Reading) {
  TJsonLine values;
  double temperature = 0, humidity = 0, dewPoint = 0;
  bool valid = false;
  std::array<TAnalogChannel, 4> channels{};
  if (Reading.Family == TDeviceFamily::TempHumidityDew &&
      DecodeTempHumidityDew(Reading.Values, temperature, humidity, dewPoint, valid)) {
    values.Add("temperature", temperature)
        .Add("humidity", humidity)
        .Add("dew_point", dewPoint)
        .Add("valid", valid);
  } else if (Reading.Family == TDeviceFamily::Temperature &&
             DecodeTemperature16(Reading.Values, temperature)) {
    values.Add("temperature", temperature);
  } else if (Reading.Family == TDeviceFamily::AnalogChannels4 &&
             DecodeAnalogChannels4(Reading.Values, channels)) {
    for (size_t k = 0; k < channels.size(); ++k)
      values.Add("channel_" + std::to_string(k + 1), TJsonLine()
                                                         .Add("value", channels[k].Value)
                                                         .Add("valid", channels[k].Valid)
                                                         .Add("overflow", channels[k].Overflow)
                                                         .Add("underflow", channels[k].Underflow));
  }
  return values;
}

int ExitOf(const TDeviceReading& Reading, bool WithValues) {
  switch (Reading.InfoStatus) {
    case TAnswerStatus::NoAnswer:
      return ecNoAnswer;
    case TAnswerStatus::Refused:
      return ecRefused;
    case TAnswerStatus::NoPacket:
    case TAnswerStatus::Invalid:
      return ecUnclear;
    case TAnswerStatus::Ok:
      break;
  }
  if (!WithValues) return ecDone;
  switch (Reading.ValuesStatus) {
    case TValuesStatus::NoAnswer:
      return ecNoAnswer;
    case TValuesStatus::Damaged:
    case TValuesStatus::Misshapen:
      return ecUnclear;
    case TValuesStatus::NotAsked:
    case TValuesStatus::Ok:
      break;
  }
  return ecDone;
}

}  // namespace

int RunInfo(const TCliArguments& Arguments, TOutput& Output, bool WithValues) {
  const auto addressText = Arguments.Value("--address");
  if (!addressText) throw EUsage("tarnel " + Arguments.Command + " needs --address A");
  const uint8_t address = ParseAddress("--address", *addressText, UniversalAddress);
  TCliLine port(PortOption(Arguments), SpeedOption(Arguments));
  const TDeviceReading reading = ReadInfoAndValues(port.Line(), address, ".", !WithValues);
  for (const std::string& line : reading.LogLines)
    Output.Text(WithPrintableAddress(line, address));
  if (WithValues && reading.InfoStatus == TAnswerStatus::Ok &&
      reading.ValuesStatus == TValuesStatus::NotAsked)
    Output.Text("The model in this INFO text has no value layout this tool knows; no values were asked for.");

  TJsonLine object;
  object.Add("command", Arguments.Command);
  AddAddress(object, address);
  object.Add("speed", static_cast<int64_t>(port.Line().Speed()))
      .Add("status", InfoStatusName(reading.InfoStatus));
  if (reading.InfoStatus == TAnswerStatus::Ok)
    object.Add("info", reading.Info).Add("family", FamilyName(reading.Family));
  if (WithValues) {
    object.Add("values_status", ValuesStatusName(reading.ValuesStatus));
    if (reading.ValuesStatus == TValuesStatus::Ok) object.Add("values", ValuesObject(reading));
  }
  Output.Object(object);
  return ExitOf(reading, WithValues);
}

}  // namespace tarnel::cli
