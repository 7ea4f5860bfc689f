#pragma once

#include <array>
#include <string>
#include <vector>

#include "common/ByteString.h"
#include "protocol/Instructions.h"

namespace tarnel::sim {

// Encoders of the measured values a simulated device answers to 0x51, in its family's layout. Each throws
// tarnel::Exception with a readable message when a number does not fit the field it goes into.

// "VKM7": one signed temperature in 1/32 degree (-1024 .. 1023.96875), rounded to the nearest step.
ByteString EncodeTemperature16(double Temperature);

// "HRW": temperature, humidity and dew point in signed tenths, channel markers 1, 2, 3; the status byte of
// every channel is 0x80 (valid) or 0x00.
ByteString EncodeTempHumidityDew(double Temperature, double Humidity, double DewPoint, bool Valid = true);

// One "KQ6" channel as the device measures it; Value is raw / 10000 * 20 (0 .. 131.07).
struct TAnalogReading {
  double Value = 0.0;
  bool Valid = true;
  bool Overflow = false;
  bool Underflow = false;
};

// "KQ6": four marked channels (1 .. 4) of unsigned raw values with their status bits.
ByteString EncodeAnalogChannels4(const std::array<TAnalogReading, 4>& Channels);

// The family's layout from plain numbers: "VKM7" 1 number, "HRW" 3, "KQ6" 4 (all marked valid). A family
// without a layout (TDeviceFamily::None) takes no numbers and answers with empty data.
ByteString EncodeFamilyValues(TDeviceFamily Family, const std::vector<double>& Numbers);

// What a device of the family answers when nothing else was given: 21.5 degrees; 21.5, 45.0, 9.2; or
// 4.0, 8.0, 12.0, 20.0 on the four analog channels.
ByteString DefaultFamilyValues(TDeviceFamily Family);

// "01 80 00 fa" or "018000FA" -> bytes; throws tarnel::Exception on a bad digit or an odd digit count.
ByteString ParseHexBytes(const std::string& Text);

// Bytes -> "2A6100..." (upper case, no separators), the form the log uses.
std::string HexOf(const ByteString& Bytes);

}  // namespace tarnel::sim
