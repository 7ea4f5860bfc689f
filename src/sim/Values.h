#pragma once

#include <array>
#include <string>
#include <vector>

#include "common/ByteString.h"
#include "common/Bytes.h"
#include "protocol/Decoders.h"
#include "protocol/Instructions.h"

namespace tarnel::sim {

// The measured values a simulated device answers to 0x51, in its family's layout, written with the codec's
// encoders (EncodeTemperature16, EncodeTempHumidityDew, EncodeAnalogChannels4); each throws
// tarnel::Exception with a readable message when a number does not fit the field it goes into.

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

// ParseHexBytes and HexOf (common/Bytes.h) read and write the values and bytes of the log and command line.

}  // namespace tarnel::sim
