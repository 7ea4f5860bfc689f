#include "protocol/Decoders.h"

#include <cstddef>

namespace tarnel {

namespace {

constexpr uint8_t ValidBit = 0x80;
constexpr uint8_t OverflowBit = 0x08;
constexpr uint8_t UnderflowBit = 0x04;

uint8_t ByteAt(const ByteString& bytes, std::size_t offset) {
  return static_cast<uint8_t>(bytes[offset]);
}

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

}  // namespace

uint16_t StrBinToInt16(const ByteString& StrBin) {
  if (StrBin.size() != 2) throw Exception("StrBin must be 2 chars length");
  return static_cast<uint16_t>(ByteAt(StrBin, 0) * 256 + ByteAt(StrBin, 1));
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
    const unsigned raw = ByteAt(Data, group + 2) * 256u + ByteAt(Data, group + 3);
    const uint8_t status = ByteAt(Data, group + 1);
    Channels[k].Value = raw / 10000.0 * 20;
    Channels[k].Valid = (status & ValidBit) != 0;
    Channels[k].Overflow = (status & OverflowBit) != 0;
    Channels[k].Underflow = (status & UnderflowBit) != 0;
  }
  return true;
}

}  // namespace tarnel
