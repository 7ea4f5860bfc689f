#include "sim/Values.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>

#include "common/Exception.h"

namespace tarnel::sim {

namespace {

// Rounds Value * Scale and refuses what does not fit [Low, High]: a simulated device must never send a
// value the user did not mean because of wrap-around.
long ScaledField(double Value, double Scale, long Low, long High, const char* What) {
  const double scaled = std::round(Value * Scale);
  if (!std::isfinite(scaled) || scaled < Low || scaled > High)
    throw Exception(std::string(What) + " " + std::to_string(Value) +
                    " does not fit the device's value field");
  return static_cast<long>(scaled);
}

void AppendWord(ByteString& Out, long Word) {
  const auto bits = static_cast<uint16_t>(Word);
  Out += static_cast<char>(bits >> 8);
  Out += static_cast<char>(bits & 0xFF);
}

void AppendChannel(ByteString& Out, int Marker, uint8_t Status, long Word) {
  Out += static_cast<char>(Marker);
  Out += static_cast<char>(Status);
  AppendWord(Out, Word);
}

size_t NumberCount(TDeviceFamily Family) {
  switch (Family) {
    case TDeviceFamily::Temperature:
      return 1;
    case TDeviceFamily::TempHumidityDew:
      return 3;
    case TDeviceFamily::AnalogChannels4:
      return 4;
    case TDeviceFamily::None:
      break;
  }
  return 0;
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

}  // namespace

ByteString EncodeTemperature16(double Temperature) {
  ByteString out;
  AppendWord(out, ScaledField(Temperature, 32.0, -32768, 32767, "Temperature"));
  return out;
}

ByteString EncodeTempHumidityDew(double Temperature, double Humidity, double DewPoint, bool Valid) {
  const uint8_t status = Valid ? 0x80 : 0x00;
  ByteString out;
  AppendChannel(out, 1, status, ScaledField(Temperature, 10.0, -32768, 32767, "Temperature"));
  AppendChannel(out, 2, status, ScaledField(Humidity, 10.0, -32768, 32767, "Humidity"));
  AppendChannel(out, 3, status, ScaledField(DewPoint, 10.0, -32768, 32767, "Dew point"));
  return out;
}

ByteString EncodeAnalogChannels4(const std::array<TAnalogReading, 4>& Channels) {
  ByteString out;
  for (int k = 1; k <= 4; ++k) {
    const TAnalogReading& channel = Channels[k - 1];
    const uint8_t status = static_cast<uint8_t>((channel.Valid ? 0x80 : 0) | (channel.Overflow ? 0x08 : 0) |
                                                (channel.Underflow ? 0x04 : 0));
    AppendChannel(out, k, status, ScaledField(channel.Value, 10000.0 / 20.0, 0, 65535, "Analog value"));
  }
  return out;
}

ByteString EncodeFamilyValues(TDeviceFamily Family, const std::vector<double>& Numbers) {
  if (Numbers.size() != NumberCount(Family))
    throw Exception("this device family takes " + std::to_string(NumberCount(Family)) + " values, " +
                    std::to_string(Numbers.size()) + " given");
  switch (Family) {
    case TDeviceFamily::Temperature:
      return EncodeTemperature16(Numbers[0]);
    case TDeviceFamily::TempHumidityDew:
      return EncodeTempHumidityDew(Numbers[0], Numbers[1], Numbers[2]);
    case TDeviceFamily::AnalogChannels4:
      return EncodeAnalogChannels4({TAnalogReading{Numbers[0]}, TAnalogReading{Numbers[1]},
                                    TAnalogReading{Numbers[2]}, TAnalogReading{Numbers[3]}});
    case TDeviceFamily::None:
      break;
  }
  return {};
}

ByteString DefaultFamilyValues(TDeviceFamily Family) {
  switch (Family) {
    case TDeviceFamily::Temperature:
      return EncodeFamilyValues(Family, {21.5});
    case TDeviceFamily::TempHumidityDew:
      return EncodeFamilyValues(Family, {21.5, 45.0, 9.2});
    case TDeviceFamily::AnalogChannels4:
      return EncodeFamilyValues(Family, {4.0, 8.0, 12.0, 20.0});
    case TDeviceFamily::None:
      break;
  }
  return {};
}

ByteString ParseHexBytes(const std::string& Text) {
  ByteString out;
  int high = -1;
  for (char c : Text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    const int digit = HexDigit(c);
    if (digit < 0) throw Exception("not a hexadecimal digit in \"" + Text + "\"");
    if (high < 0) {
      high = digit;
    } else {
      out += static_cast<char>(high * 16 + digit);
      high = -1;
    }
  }
  if (high >= 0) throw Exception("odd number of hexadecimal digits in \"" + Text + "\"");
  return out;
}

std::string HexOf(const ByteString& Bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(Bytes.size() * 2);
  for (unsigned char byte : Bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 0x0F];
  }
  return text;
}

}  // namespace tarnel::sim
