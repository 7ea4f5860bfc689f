#include "sim/Values.h"

#include <string>

#include "common/Exception.h"

namespace tarnel::sim {

namespace {

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

}  // namespace

ByteString EncodeAnalogChannels4(const std::array<TAnalogReading, 4>& Channels) {
  std::array<TAnalogChannel, 4> channels{};
  for (size_t k = 0; k < channels.size(); ++k)
    channels[k] =
        TAnalogChannel{Channels[k].Value, Channels[k].Valid, Channels[k].Overflow, Channels[k].Underflow};
  return tarnel::EncodeAnalogChannels4(channels);
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

}  // namespace tarnel::sim
