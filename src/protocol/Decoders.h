#pragma once

#include <array>
#include <cstdint>

#include "common/ByteString.h"
#include "common/Exception.h"

namespace tarnel {

// One channel of a four-channel analog answer.
struct TAnalogChannel {
  double Value = 0.0;  // raw / 10000 * 20
  bool Valid = false;
  bool Overflow = false;
  bool Underflow = false;
};

// The status byte of a marked channel.
inline constexpr uint8_t ChannelValidBit = 0x80, ChannelOverflowBit = 0x08, ChannelUnderflowBit = 0x04;

// Byte 0 * 256 + byte 1; callers read it as signed where the value is. Throws tarnel::Exception
// ("StrBin must be 2 chars length") for any other length than 2.
uint16_t StrBinToInt16(const ByteString& StrBin);

// Each decoder returns false, leaving every output untouched, when Data does not have its layout.

// Two bytes: a signed temperature in 1/32 degree.
bool DecodeTemperature16(const ByteString& Data, double& Temperature);

// Twelve bytes: three marked channels (1, 2, 3) of signed tenths; Valid when all three are marked valid.
bool DecodeTempHumidityDew(const ByteString& Data, double& Temperature, double& Humidity, double& DewPoint,
                           bool& Valid);

// Sixteen bytes: four marked channels of unsigned raw values; channel k is stored at index k - 1.
bool DecodeAnalogChannels4(const ByteString& Data, std::array<TAnalogChannel, 4>& Channels);

// The encoders write what the decoders above read (a simulated device answers with them). Each throws
// tarnel::Exception with a readable message when a number does not fit its field, rather than send a value
// nobody meant because of wrap-around. Numbers are rounded to the nearest step of their field.

// Two bytes: -1024 .. 1023.96875 in 1/32 degree.
ByteString EncodeTemperature16(double Temperature);

// Twelve bytes, channel markers 1, 2, 3; every status byte is ChannelValidBit or 0.
ByteString EncodeTempHumidityDew(double Temperature, double Humidity, double DewPoint, bool Valid = true);

// Sixteen bytes, channel markers 1 .. 4; Value 0 .. 131.07, and each channel's flags as its status bits.
ByteString EncodeAnalogChannels4(const std::array<TAnalogChannel, 4>& Channels);

}  // namespace tarnel
