#include "protocol/Decoders.h"

#include <gtest/gtest.h>

#include "HexBytes.h"

namespace tarnel {
namespace {

using test::Hex;
using test::ToHex;

class StrBinToInt16Test : public ::testing::Test {};

TEST_F(StrBinToInt16Test, HighByteFirst) {
  EXPECT_EQ(StrBinToInt16(Hex("12 34")), 0x1234);
  EXPECT_EQ(StrBinToInt16(Hex("FF 9C")), 0xFF9C);
}

TEST_F(StrBinToInt16Test, RefusesAnyOtherLength) {
  for (const ByteString& input : {Hex(""), Hex("01"), Hex("01 02 03")}) {
    try {
      StrBinToInt16(input);
      ADD_FAILURE() << "no error for " << input.size() << " bytes";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "StrBin must be 2 chars length");
    }
  }
}

class Temperature16Test : public ::testing::Test {
 protected:
  double temperature_ = 12345.0;
};

TEST_F(Temperature16Test, SignedThirtySeconds) {
  const std::pair<const char*, double> cases[] = {
      {"01 40", 10.0}, {"FF E0", -1.0}, {"80 00", -1024.0}, {"7F FF", 1023.96875}, {"00 00", 0.0}};
  for (const auto& [hex, expected] : cases) {
    ASSERT_TRUE(DecodeTemperature16(Hex(hex), temperature_)) << hex;
    EXPECT_DOUBLE_EQ(temperature_, expected) << hex;
  }
}

TEST_F(Temperature16Test, WrongLengthLeavesTheOutputAlone) {
  EXPECT_FALSE(DecodeTemperature16(Hex("01 40 00"), temperature_));
  EXPECT_FALSE(DecodeTemperature16(Hex("01"), temperature_));
  EXPECT_FALSE(DecodeTemperature16("", temperature_));
  EXPECT_EQ(temperature_, 12345.0);
}

class TempHumidityDewTest : public ::testing::Test {
 protected:
  bool Decode(const ByteString& data) {
    return DecodeTempHumidityDew(data, temperature_, humidity_, dew_, valid_);
  }
  void ExpectUntouched() {
    EXPECT_EQ(temperature_, 1.5);
    EXPECT_EQ(humidity_, 2.5);
    EXPECT_EQ(dew_, 3.5);
    EXPECT_FALSE(valid_);
  }

  const ByteString good_ = Hex("01 80 00 FA 02 80 01 F4 03 80 00 64");
  double temperature_ = 1.5, humidity_ = 2.5, dew_ = 3.5;
  bool valid_ = false;
};

TEST_F(TempHumidityDewTest, DecodesAllThreeChannels) {
  ASSERT_TRUE(Decode(good_));
  EXPECT_DOUBLE_EQ(temperature_, 25.0);
  EXPECT_DOUBLE_EQ(humidity_, 50.0);
  EXPECT_DOUBLE_EQ(dew_, 10.0);
  EXPECT_TRUE(valid_);
}

TEST_F(TempHumidityDewTest, OneInvalidChannelMakesTheWholeInvalid) {
  for (std::size_t status : {1u, 5u, 9u}) {
    ByteString data = good_;
    data[status] = 0x7F;  // every bit but the valid one
    ASSERT_TRUE(Decode(data));
    EXPECT_FALSE(valid_) << "status byte " << status;
    EXPECT_DOUBLE_EQ(humidity_, 50.0);
  }
}

TEST_F(TempHumidityDewTest, ValuesAreSigned) {
  ByteString data = good_;
  data[2] = '\xFF';
  data[3] = '\x9C';
  data[10] = '\x80';
  data[11] = '\x00';
  ASSERT_TRUE(Decode(data));
  EXPECT_DOUBLE_EQ(temperature_, -10.0);
  EXPECT_DOUBLE_EQ(dew_, -3276.8);
}

TEST_F(TempHumidityDewTest, WrongMarkerOrLengthLeavesOutputsAlone) {
  for (std::size_t marker : {0u, 4u, 8u}) {
    ByteString data = good_;
    data[marker] = 4;
    EXPECT_FALSE(Decode(data)) << "marker " << marker;
  }
  EXPECT_FALSE(Decode(good_ + '\0'));
  EXPECT_FALSE(Decode(good_.substr(0, 11)));
  ExpectUntouched();
}

class AnalogChannels4Test : public ::testing::Test {
 protected:
  void SetUp() override { channels_.fill(TAnalogChannel{-7.0, true, true, true}); }

  std::array<TAnalogChannel, 4> channels_;
};

TEST_F(AnalogChannels4Test, DecodesValuesAndFlags) {
  ASSERT_TRUE(DecodeAnalogChannels4(Hex("01 80 13 88 02 80 27 10 03 08 FF FF 04 04 00 00"), channels_));
  EXPECT_DOUBLE_EQ(channels_[0].Value, 10.0);
  EXPECT_DOUBLE_EQ(channels_[1].Value, 20.0);
  EXPECT_NEAR(channels_[2].Value, 131.07, 1e-9);  // unsigned: FFFF is not negative
  EXPECT_DOUBLE_EQ(channels_[3].Value, 0.0);
  const bool flags[4][3] = {
      {true, false, false}, {true, false, false}, {false, true, false}, {false, false, true}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(channels_[k].Valid, flags[k][0]) << "channel " << k + 1;
    EXPECT_EQ(channels_[k].Overflow, flags[k][1]) << "channel " << k + 1;
    EXPECT_EQ(channels_[k].Underflow, flags[k][2]) << "channel " << k + 1;
  }
}

TEST_F(AnalogChannels4Test, OtherStatusBitsPlayNoPart) {
  ASSERT_TRUE(DecodeAnalogChannels4(Hex("01 73 00 01 02 73 00 02 03 73 00 03 04 73 00 04"), channels_));
  for (const TAnalogChannel& c : channels_) {
    EXPECT_FALSE(c.Valid);
    EXPECT_FALSE(c.Overflow);
    EXPECT_FALSE(c.Underflow);
  }
  EXPECT_DOUBLE_EQ(channels_[3].Value, 4 / 10000.0 * 20);
}

TEST_F(AnalogChannels4Test, MarkersOutOfOrderLeaveChannelsAlone) {
  EXPECT_FALSE(DecodeAnalogChannels4(Hex("01 80 13 88 02 80 27 10 04 08 FF FF 03 04 00 00"), channels_));
  EXPECT_FALSE(DecodeAnalogChannels4(ByteString(16, '\x01'), channels_));
  EXPECT_FALSE(DecodeAnalogChannels4(Hex("01 80 13 88 02 80 27 10 03 08 FF FF 04 04 00"), channels_));
  for (const TAnalogChannel& c : channels_) {
    EXPECT_EQ(c.Value, -7.0);
    EXPECT_TRUE(c.Valid && c.Overflow && c.Underflow);
  }
}

// The encoders are checked against the same fixed bytes the decoders read, not against the decoders alone.
class EncodersTest : public ::testing::Test {};

TEST_F(EncodersTest, WriteTheFixedLayouts) {
  EXPECT_EQ(ToHex(EncodeTemperature16(1023.96875)), "7F FF");
  EXPECT_EQ(ToHex(EncodeTempHumidityDew(25.0, 50.0, 10.0)), "01 80 00 FA 02 80 01 F4 03 80 00 64");
  const std::array<TAnalogChannel, 4> channels = {
      TAnalogChannel{10.0, true, false, false}, TAnalogChannel{20.0, true, false, false},
      TAnalogChannel{131.07, false, true, false}, TAnalogChannel{0.0, false, false, true}};
  EXPECT_EQ(ToHex(EncodeAnalogChannels4(channels)), "01 80 13 88 02 80 27 10 03 08 FF FF 04 04 00 00");
}

TEST_F(EncodersTest, DecodersReadBackWhatWasWritten) {
  double temperature = 0, humidity = 0, dewPoint = 0;
  bool valid = true;
  ASSERT_TRUE(DecodeTempHumidityDew(EncodeTempHumidityDew(-12.3, 99.9, -40.0, false), temperature, humidity,
                                    dewPoint, valid));
  EXPECT_DOUBLE_EQ(temperature, -12.3);
  EXPECT_DOUBLE_EQ(humidity, 99.9);
  EXPECT_DOUBLE_EQ(dewPoint, -40.0);
  EXPECT_FALSE(valid);
  std::array<TAnalogChannel, 4> channels{};
  const std::array<TAnalogChannel, 4> written = {TAnalogChannel{0.04, false, true, true},
                                                 TAnalogChannel{65.0, true, true, false}, TAnalogChannel{},
                                                 TAnalogChannel{131.07, true, false, true}};
  ASSERT_TRUE(DecodeAnalogChannels4(EncodeAnalogChannels4(written), channels));
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_NEAR(channels[k].Value, written[k].Value, 1e-9) << "channel " << k + 1;
    EXPECT_EQ(channels[k].Valid, written[k].Valid) << "channel " << k + 1;
    EXPECT_EQ(channels[k].Overflow, written[k].Overflow) << "channel " << k + 1;
    EXPECT_EQ(channels[k].Underflow, written[k].Underflow) << "channel " << k + 1;
  }
}

TEST_F(EncodersTest, NumbersOutsideTheirFieldAreRefused) {
  EXPECT_THROW(EncodeTemperature16(-1024.1), Exception);
  EXPECT_THROW(EncodeTempHumidityDew(0, 3276.8, 0), Exception);
  EXPECT_THROW(EncodeAnalogChannels4({TAnalogChannel{131.08}}), Exception);
}

}  // namespace
}  // namespace tarnel
