#include "protocol/Decoders.h"

#include <cmath>
#include <cstddef>
#include <string>

#include "common/Bytes.h"

namespace tarnel {

namespace {

constexpr uint8_t ValidBit = ChannelValidBit;
constexpr uint8_t OverflowBit = ChannelOverflowBit;
constexpr uint8_t UnderflowBit = ChannelUnderflowBit;
// Raw units per value unit: a value is raw / 10000 * 20.
constexpr double AnalogScale = 10000.0 / 20;

// The two bytes at offset as a signed value: a negative reading arrives in two's complement.
double SignedTenths(const ByteString& Data, std::size_t offset) {
  return static_cast<int16_t>(StrBinToInt16(Data.substr(offset, 2))) / 10.0;
}

// Every group of four bytes must open with its channel number, 1 first.
bool HasChannelMarkers(const ByteString& Data, std::size_t channels) {
  if (Data.size() != channels * 4) return false;
  for (std::size_t k = 1; k <= channels; ++k) {
    if (ByteAt(Data, 4 * (k - 1)) != k) return false;
  }
  return true;
}

// Rounds Value * Scale and refuses what does not fit [Low, High].
long ScaledField(double Value, double Scale, long Low, long High, const char* What) {
  const double scaled = std::round(Value * Scale);
  if (!std::isfinite(scaled) || scaled < Low || scaled > High)
    throw Exception(std::string(What) + " " + std::to_string(Value) +
                    " does not fit the device's value field");
  return static_cast<long>(scaled);
}

long SignedField(double Value, double Scale, const char* What) {
  return ScaledField(Value, Scale, -32768, 32767, What);
}

void AppendChannel(ByteString& Out, std::size_t Marker, uint8_t Status, long Word) {
  Out += static_cast<char>(Marker);
  Out += static_cast<char>(Status);
  AppendWord(Out, static_cast<uint16_t>(Word));
}

}  // namespace

uint16_t StrBinToInt16(const ByteString& StrBin) {
  if (StrBin.size() != 2) throw Exception("StrBin must be 2 chars length");
  return WordAt(StrBin, 0);
}

bool DecodeTemperature16(const ByteString& Data, double& Temperature) {
  if (Data.size() != 2) return false;
  Temperature = static_cast<int16_t>(StrBinToInt16(Data)) / 32.0;
  return true;
}

bool DecodeTempHumidityDew(const ByteString& Data, double& Temperature, double& Humidity, double& DewPoint,
                           bool& Valid) {
  if (!HasChannelMarkers(Data, 3)) return false;
  Temperature = SignedTenths(Data, 2);
  Humidity = SignedTenths(Data, 6);
  DewPoint = SignedTenths(Data, 10);
  Valid = (ByteAt(Data, 1) & ByteAt(Data, 5) & ByteAt(Data, 9) & ValidBit) != 0;
  return true;
}

bool DecodeAnalogChannels4(const ByteString& Data, std::array<TAnalogChannel, 4>& Channels) {
  if (!HasChannelMarkers(Data, 4)) return false;
  for (std::size_t k = 0; k < Channels.size(); ++k) {
    const std::size_t group = 4 * k;
    const unsigned raw = WordAt(Data, group + 2);
    const uint8_t status = ByteAt(Data, group + 1);
    Channels[k].Value = raw / 10000.0 * 20;
    Channels[k].Valid = (status & ValidBit) != 0;
    Channels[k].Overflow = (status & OverflowBit) != 0;
    Channels[k].Underflow = (status & UnderflowBit) != 0;
  }
  return true;
}

ByteString EncodeTemperature16(double Temperature) {
  ByteString out;
  AppendWord(out, static_cast<uint16_t>(SignedField(Temperature, 32.0, "Temperature")));
  return out;
}

ByteString EncodeTempHumidityDew(double Temperature, double Humidity, double DewPoint, bool Valid) {
  const uint8_t status = Valid ? ValidBit : 0;
  ByteString out;
  AppendChannel(out, 1, status, SignedField(Temperature, 10.0, "Temperature"));
  AppendChannel(out, 2, status, SignedField(Humidity, 10.0, "Humidity"));
  AppendChannel(out, 3, status, SignedField(DewPoint, 10.0, "Dew point"));
  return out;
}

ByteString EncodeAnalogChannels4(const std::array<TAnalogChannel, 4>& Channels) {
  ByteString out;
  for (std::size_t k = 0; k < Channels.size(); ++k) {
    const TAnalogChannel& channel = Channels[k];
    const uint8_t status =
        static_cast<uint8_t>((channel.Valid ? ValidBit : 0) | (channel.Overflow ? OverflowBit : 0) |
                             (channel.Underflow ? UnderflowBit : 0));
    AppendChannel(out, k + 1, status, ScaledField(channel.Value, AnalogScale, 0, 65535, "Analog value"));
  }
  return out;
}

}  // namespace tarnel
