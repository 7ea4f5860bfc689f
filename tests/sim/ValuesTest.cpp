#include "sim/Values.h"

#include <gtest/gtest.h>

#include "../protocol/HexBytes.h"
#include "protocol/Decoders.h"

namespace tarnel::sim {
namespace {

using test::ToHex;

TEST(SimValuesTest, TemperatureIsSignedThirtySeconds) {
  EXPECT_EQ(ToHex(EncodeTemperature16(10.0)), "01 40");
  EXPECT_EQ(ToHex(EncodeTemperature16(-1.0)), "FF E0");
  EXPECT_EQ(ToHex(EncodeTemperature16(-1024.0)), "80 00");
  EXPECT_THROW(EncodeTemperature16(1024.0), Exception);
}

TEST(SimValuesTest, HrwLayoutMatchesTheWorkedExample) {
  EXPECT_EQ(ToHex(EncodeTempHumidityDew(25.0, 50.0, 10.0)), "01 80 00 FA 02 80 01 F4 03 80 00 64");
  EXPECT_EQ(ToHex(EncodeTempHumidityDew(-10.0, 0, 0, false)).substr(0, 11), "01 00 FF 9C");
}

TEST(SimValuesTest, Kq6RawValuesAreUnsignedWithStatusBits) {
  const ByteString data = EncodeAnalogChannels4({TAnalogReading{10.0}, TAnalogReading{20.0},
                                                 TAnalogReading{131.07, false, true, false},
                                                 TAnalogReading{0.0, false, false, true}});
  EXPECT_EQ(ToHex(data), "01 80 13 88 02 80 27 10 03 08 FF FF 04 04 00 00");
  EXPECT_THROW(EncodeAnalogChannels4({TAnalogReading{-0.1}}), Exception);
  EXPECT_THROW(EncodeAnalogChannels4({TAnalogReading{131.1}}), Exception);
}

TEST(SimValuesTest, FamilyNumbersRoundTripThroughTheDecoders) {
  std::array<TAnalogChannel, 4> channels{};
  ASSERT_TRUE(
      DecodeAnalogChannels4(EncodeFamilyValues(TDeviceFamily::AnalogChannels4, {1.5, 2, 3, 4}), channels));
  EXPECT_NEAR(channels[0].Value, 1.5, 1e-9);
  EXPECT_TRUE(channels[3].Valid);
  double temperature = 0;
  ASSERT_TRUE(DecodeTemperature16(EncodeFamilyValues(TDeviceFamily::Temperature, {-12.25}), temperature));
  EXPECT_DOUBLE_EQ(temperature, -12.25);
}

TEST(SimValuesTest, WrongNumberCountIsRefused) {
  EXPECT_THROW(EncodeFamilyValues(TDeviceFamily::TempHumidityDew, {1, 2}), Exception);
  EXPECT_THROW(EncodeFamilyValues(TDeviceFamily::None, {1}), Exception);
  EXPECT_TRUE(EncodeFamilyValues(TDeviceFamily::None, {}).empty());
}

TEST(SimValuesTest, HexTextParsesWithOrWithoutSpaces) {
  EXPECT_EQ(ParseHexBytes("01 80 fa"), ParseHexBytes("0180FA"));
  EXPECT_EQ(HexOf(ParseHexBytes("0180fa")), "0180FA");
  EXPECT_THROW(ParseHexBytes("018"), Exception);
  EXPECT_THROW(ParseHexBytes("0x18"), Exception);
}

}  // namespace
}  // namespace tarnel::sim
