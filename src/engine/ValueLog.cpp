#include "engine/ValueLog.h"

#include <array>
#include <cstdio>
#include <optional>

#include "protocol/Decoders.h"

namespace tarnel {
namespace {

constexpr const char* kNoResponseValues = "Modul with address \"{0}\" - no rsponse while reading values";
constexpr const char* kNoResponseTemperature =
    "Modul with address \"{0}\" - no rsponse while reading temperature";
constexpr const char* kIncorrectInfo =
    "Modul with address \"{0}\" - Incorrect response for INFO request (maybe a module with the same "
    "address?)";
constexpr const char* kInfo = "Modul with address \"{0}\" - INFO : {1}";
constexpr const char* kIncorrectDataRead = "Modul with address \"{0}\" - Incorrect tarnel data read";
constexpr const char* kIncorrectData = "Modul with address \"{0}\" - Incorrect tarnel data";
constexpr const char* kTempHumidityDew =
    "Modul with address \"{0}\" - temperature: {1}°C humidity: {2}% dew point: {3} Valid: {4}";
constexpr const char* kBadValues = "Modul with address \"{0}\" - Incorrect data while reading values";
constexpr const char* kTemperature = "Modul with address \"{0}\" - temperature: {1}";
constexpr const char* kBadTemperature = "Modul with address \"{0}\" - Incorrect temperature data";
constexpr const char* kChannel = " channel {1}: ( value: {2}, valid: {3}, overflow:{4}, underflow:{5} )";
constexpr const char* kBadChannels = "Modul with address \"{0}\" - Error parsing received measurement data !";

using TLines = std::optional<std::vector<std::string>>;

// How one family's values are read: the texts for an answer that is damaged, one that is missing or
// refused, and data of the wrong layout; Decode gives the lines logged for good data, or nothing when the
// layout does not match.
struct TValueReader {
  TDeviceFamily Family;
  const char* Damaged;
  const char* NoAnswer;
  const char* Misshapen;
  TLines (*Decode)(const ByteString& Data, const std::string& Address, const std::string& Point);
};

std::string Decimal(double Value, int Decimals, const std::string& Point) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", Decimals, Value);
  std::string result = text;
  if (const size_t dot = result.find('.'); dot != std::string::npos) result.replace(dot, 1, Point);
  return result;
}

std::string Flag(bool Value) {
  return Value ? "1" : "0";
}

TLines TempHumidityDewLines(const ByteString& Data, const std::string& Address, const std::string& Point) {
  double temperature = 0, humidity = 0, dewPoint = 0;
  bool valid = false;
  if (!DecodeTempHumidityDew(Data, temperature, humidity, dewPoint, valid)) return std::nullopt;
  return std::vector<std::string>{FormatLogTemplate(
      kTempHumidityDew, {Address, Decimal(temperature, 1, Point), Decimal(humidity, 1, Point),
                         Decimal(dewPoint, 1, Point), Flag(valid)})};
}

TLines TemperatureLines(const ByteString& Data, const std::string& Address, const std::string& Point) {
  double temperature = 0;
  if (!DecodeTemperature16(Data, temperature)) return std::nullopt;
  return std::vector<std::string>{FormatLogTemplate(kTemperature, {Address, Decimal(temperature, 1, Point)})};
}

TLines AnalogChannelLines(const ByteString& Data, const std::string& Address, const std::string& Point) {
  std::array<TAnalogChannel, 4> channels{};
  if (!DecodeAnalogChannels4(Data, channels)) return std::nullopt;
  std::vector<std::string> lines;
  for (int k = 0; k < 4; ++k) {
    const TAnalogChannel& c = channels[k];
    lines.push_back(FormatLogTemplate(kChannel, {Address, std::to_string(k + 1), Decimal(c.Value, 2, Point),
                                                 Flag(c.Valid), Flag(c.Overflow), Flag(c.Underflow)}));
  }
  return lines;
}

// A damaged analog answer is reported like the temperature family's, so the technician is never left
// guessing.
const TValueReader kValueReaders[] = {
    {TDeviceFamily::TempHumidityDew, kIncorrectDataRead, kNoResponseValues, kBadValues, TempHumidityDewLines},
    {TDeviceFamily::Temperature, kIncorrectData, kNoResponseTemperature, kBadTemperature, TemperatureLines},
    {TDeviceFamily::AnalogChannels4, kIncorrectData, kNoResponseTemperature, kBadChannels,
     AnalogChannelLines},
};

const TValueReader* ValueReaderOf(TDeviceFamily Family) {
  for (const TValueReader& reader : kValueReaders)
    if (reader.Family == Family) return &reader;
  return nullptr;
}

void ReadInfo(TDeviceLine& Line, TDeviceReading& Reading, const std::string& Address) {
  const TAnswer info = Line.Ask(BuildInfoRequest(Reading.Address));
  Reading.InfoStatus = info.Status;
  switch (info.Status) {
    case TAnswerStatus::NoAnswer:
    case TAnswerStatus::NoPacket:
    case TAnswerStatus::Refused:
      Reading.LogLines.push_back(FormatLogTemplate(kNoResponseValues, {Address}));
      break;
    case TAnswerStatus::Invalid:
      Reading.LogLines.push_back(FormatLogTemplate(kIncorrectInfo, {Address}));
      break;
    case TAnswerStatus::Ok:
      Reading.Info.assign(info.Packet.Data.begin(), info.Packet.Data.end());
      Reading.LogLines.push_back(FormatLogTemplate(kInfo, {Address, Latin1ToUtf8(Reading.Info)}));
      Reading.Family = FamilyOfModel(ModelFromInfo(info.Packet.Data));
      break;
  }
}

void ReadValues(TDeviceLine& Line, TDeviceReading& Reading, const std::string& Address,
                const std::string& Point) {
  const TValueReader* reader = ValueReaderOf(Reading.Family);
  if (!reader) return;  // a family without a value layout gets no value request
  const TAnswer answer = Line.Ask(BuildReadValuesRequest(Reading.Address, Reading.Family), false);
  const char* problem = nullptr;
  if (answer.Status == TAnswerStatus::Invalid) {
    Reading.ValuesStatus = TValuesStatus::Damaged;
    problem = reader->Damaged;
  } else if (answer.Status != TAnswerStatus::Ok) {
    Reading.ValuesStatus = TValuesStatus::NoAnswer;
    problem = reader->NoAnswer;
  } else if (TLines lines = reader->Decode(answer.Packet.Data, Address, Point)) {
    Reading.ValuesStatus = TValuesStatus::Ok;
    Reading.Values = answer.Packet.Data;
    Reading.LogLines.insert(Reading.LogLines.end(), lines->begin(), lines->end());
  } else {
    Reading.ValuesStatus = TValuesStatus::Misshapen;
    problem = reader->Misshapen;
  }
  if (problem) Reading.LogLines.push_back(FormatLogTemplate(problem, {Address}));
}

}  // namespace

std::string FormatLogTemplate(std::string Template, std::initializer_list<std::string> Values) {
  int index = 0;
  for (const std::string& value : Values) {
    // Built in steps: GCC 12 at -O3 wrongly sees overlapping copies in "{" + std::to_string(...).
    std::string key(1, '{');
    key += std::to_string(index++);
    key += '}';
    for (size_t at = Template.find(key); at != std::string::npos; at = Template.find(key, at + value.size()))
      Template.replace(at, key.size(), value);
  }
  return Template;
}

std::string Latin1ToUtf8(const std::string& Text) {
  std::string utf8;
  for (const char c : Text) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (code >> 6));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return utf8;
}

std::string AddressCharacter(uint8_t Address) {
  return Latin1ToUtf8(std::string(1, static_cast<char>(Address)));
}

TDeviceReading ReadInfoAndValues(TDeviceLine& Line, uint8_t Address, const std::string& DecimalPoint,
                                 bool InfoOnly) {
  TDeviceReading reading;
  reading.Address = Address;
  const std::string address = AddressCharacter(Address);
  ReadInfo(Line, reading, address);
  if (!InfoOnly) ReadValues(Line, reading, address, DecimalPoint);
  return reading;
}

}  // namespace tarnel
