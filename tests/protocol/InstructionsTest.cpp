#include "protocol/Instructions.h"

#include <gtest/gtest.h>

#include "HexBytes.h"
#include "protocol/Packet97.h"

namespace tarnel {
namespace {

using test::Hex;
using test::ToHex;

class RequestTest : public ::testing::Test {
 protected:
  // Every request must be one valid packet; returns its split form for the field checks.
  static TTarnelFormat97 Split(const ByteString& request) {
    EXPECT_EQ(CheckPacket97(request), 0) << ToHex(request);
    return ParsePacket97(request);
  }
  static void ExpectHeader(const TTarnelFormat97& r, uint8_t address, uint8_t tag, uint8_t code) {
    EXPECT_EQ(r.Address, address);
    EXPECT_EQ(r.Tag, tag);
    EXPECT_EQ(r.Code, code);
  }
};

TEST_F(RequestTest, FindDeviceIsTheUniversalInfoRequest) {
  EXPECT_EQ(ToHex(BuildFindDeviceRequest()), "2A 61 00 05 FE F3 F3 8B 0D");
}

TEST_F(RequestTest, AddressedRequestsCarryTagOne) {
  const TTarnelFormat97 info = Split(BuildInfoRequest(0x31));
  ExpectHeader(info, 0x31, 1, 0xF3);
  EXPECT_TRUE(info.Data.empty());
  const TTarnelFormat97 permission = Split(BuildWritePermissionRequest(49));
  ExpectHeader(permission, 49, 1, 0xE4);
  EXPECT_TRUE(permission.Data.empty());
}

TEST_F(RequestTest, SetAddressAndSpeed) {
  EXPECT_EQ(ToHex(BuildSetAddressSpeedRequest(0x31, 0x32, SpeedCodeFromIndex(3))),
            "2A 61 00 07 31 01 E0 32 06 23 0D");
  const TTarnelFormat97 r = Split(BuildSetAddressSpeedRequest(49, 65, SpeedCodeFromIndex(4)));  // "19200"
  ExpectHeader(r, 49, 1, 0xE0);
  EXPECT_EQ(ToHex(r.Data), "41 07");
}

TEST_F(RequestTest, SpeedCodesRunFromThreeToTen) {
  for (int index = 0; index < 8; ++index)
    EXPECT_EQ(SpeedCodeFromIndex(index), index + 3);
}

TEST_F(RequestTest, SetAddressBySerialGoesUniversalWithTagOne) {
  const TTarnelFormat97 r = Split(BuildSetAddressBySerialRequest(5, {1234, 42}));
  ExpectHeader(r, 254, 1, 0xEB);
  EXPECT_EQ(ToHex(r.Data), "05 04 D2 00 2A");
  EXPECT_EQ(ToHex(Split(BuildSetAddressBySerialRequest(5, ParseSerialNumberText("0123\\4567"))).Data),
            "05 00 7B 11 D7");
}

TEST_F(RequestTest, ReadValuesDataDependsOnTheFamily) {
  const TTarnelFormat97 hrw = Split(BuildReadValuesRequest(7, TDeviceFamily::TempHumidityDew));
  ExpectHeader(hrw, 7, 2, 0x51);
  EXPECT_EQ(ToHex(hrw.Data), "00");
  EXPECT_TRUE(Split(BuildReadValuesRequest(7, TDeviceFamily::Temperature)).Data.empty());
  EXPECT_TRUE(Split(BuildReadValuesRequest(7, TDeviceFamily::AnalogChannels4)).Data.empty());
}

class BurnSerialTest : public ::testing::Test {};

TEST_F(BurnSerialTest, DateTailIsPackedBcd) {
  EXPECT_EQ(ToHex(BuildSerialDateTail(4567, {2026, 12, 7})), "11 D7 20 26 12 07");
  EXPECT_EQ(ToHex(BuildSerialDateTail(0, {2000, 1, 1})), "00 00 20 00 01 01");
  EXPECT_EQ(ToHex(BuildSerialDateTail(0xFFFF, {1999, 10, 31})), "FF FF 19 99 10 31");
}

TEST_F(BurnSerialTest, DateOutsideFourDigitsStaysDecimal) {
  // Each nibble must stay a decimal digit whatever the clock says.
  EXPECT_EQ(ToHex(BuildSerialDateTail(0, {12026, 112, 107})), "00 00 20 26 12 07");
}

TEST_F(BurnSerialTest, UniversalRequestWithEightBytes) {
  const TTarnelFormat97 r = ParsePacket97(BuildBurnSerialRequest({1, 2}, {2030, 1, 1}));
  EXPECT_EQ(r.Address, 254);
  EXPECT_EQ(r.Tag, 0xEA);
  EXPECT_EQ(r.Code, 0xEA);
  EXPECT_EQ(ToHex(r.Data), "00 01 00 02 20 30 01 01");
  EXPECT_EQ(
      ToHex(ParsePacket97(BuildBurnSerialRequest(ParseSerialNumberText("0123\\4567"), {2026, 12, 7})).Data),
      "00 7B 11 D7 20 26 12 07");
}

TEST_F(BurnSerialTest, EmptyFieldStillSendsZeroGroups) {
  const ByteString request = BuildBurnSerialRequest(ParseSerialNumberText("    \\    "), {2000, 1, 1});
  EXPECT_EQ(CheckPacket97(request), 0);
  EXPECT_EQ(ToHex(ParsePacket97(request).Data), "00 00 00 00 20 00 01 01");
}

class SerialTextTest : public ::testing::Test {};

TEST_F(SerialTextTest, GroupConversion) {
  EXPECT_EQ(ParseSerialGroup("0123"), 123);
  EXPECT_EQ(ParseSerialGroup("  12"), 12);
  EXPECT_EQ(ParseSerialGroup("12  "), 12);
  EXPECT_EQ(ParseSerialGroup("1 2 "), 1);
  EXPECT_EQ(ParseSerialGroup("    "), 0);
  EXPECT_EQ(ParseSerialGroup(""), 0);
  EXPECT_EQ(ParseSerialGroup("_12"), 0);
  EXPECT_EQ(ParseSerialGroup("-12"), 0);
}

TEST_F(SerialTextTest, OverlongGroupsClampInsteadOfWrapping) {
  EXPECT_EQ(ParseSerialGroup("65535"), 65535);
  EXPECT_EQ(ParseSerialGroup("65536"), 65535);
  EXPECT_EQ(ParseSerialGroup("99999999999999999999"), 65535);
  EXPECT_EQ(ParseSerialGroup("00000000000000000042"), 42);
}

TEST_F(SerialTextTest, GroupsAreCharactersOneToFourAndSixToNine) {
  const auto expectSerial = [](std::string_view text, uint16_t n1, uint16_t n2) {
    const TSerialNumber s = ParseSerialNumberText(text);
    EXPECT_EQ(s.N1, n1) << text;
    EXPECT_EQ(s.N2, n2) << text;
  };
  expectSerial("0123\\4567", 123, 4567);
  expectSerial("12  \\    ", 12, 0);
  expectSerial("9999\\9999", 9999, 9999);
  expectSerial("1234\\5678999", 1234, 5678);
  expectSerial("12345678", 1234, 678);  // character 5 is never part of a group
  expectSerial("1234\\56", 1234, 56);
  expectSerial("1234\\", 1234, 0);
  expectSerial("12", 12, 0);
  expectSerial("", 0, 0);
}

class ModelTest : public ::testing::Test {};

TEST_F(ModelTest, TextBeforeTheFirstSemicolonUpperCased) {
  EXPECT_EQ(ModelFromInfo("hrw;1.2;sn 0001"), "HRW");
  EXPECT_EQ(ModelFromInfo("Kq6b;x"), "KQ6B");
  EXPECT_EQ(ModelFromInfo(";VKM7"), "");
  EXPECT_EQ(ModelFromInfo("VKM7"), "");
  EXPECT_EQ(ModelFromInfo(""), "");
  EXPECT_EQ(ModelFromInfo(ByteString("\xE9z\0;", 4)), ByteString("\xE9Z\0", 3));
}

TEST_F(ModelTest, FamilyChoice) {
  EXPECT_EQ(FamilyOfModel("HRW"), TDeviceFamily::TempHumidityDew);
  EXPECT_EQ(FamilyOfModel("VKM7"), TDeviceFamily::Temperature);
  EXPECT_EQ(FamilyOfModel("KQ6"), TDeviceFamily::AnalogChannels4);
  EXPECT_EQ(FamilyOfModel("KQ6A"), TDeviceFamily::AnalogChannels4);
  EXPECT_EQ(FamilyOfModel("VKM7B"), TDeviceFamily::None);
  EXPECT_EQ(FamilyOfModel("HRWX"), TDeviceFamily::None);
  EXPECT_EQ(FamilyOfModel("KQ"), TDeviceFamily::None);
  EXPECT_EQ(FamilyOfModel(""), TDeviceFamily::None);
  EXPECT_EQ(FamilyOfModel(ModelFromInfo("vkm7;rev 3")), TDeviceFamily::Temperature);
  EXPECT_EQ(FamilyOfModel(ModelFromInfo("KQ6 without separator")), TDeviceFamily::None);
}

class SpeedTableTest : public ::testing::Test {};

TEST_F(SpeedTableTest, CodesAndSpeedsMapBothWays) {
  for (int index = 0; index < static_cast<int>(DeviceSpeeds.size()); ++index)
    EXPECT_EQ(SpeedFromCode(SpeedCodeFromIndex(index)), DeviceSpeeds[index]);
  EXPECT_EQ(SpeedFromCode(6), 9600);
  EXPECT_EQ(SpeedFromCode(2), 0);
  EXPECT_EQ(SpeedFromCode(11), 0);
}

// The parsers a device uses on the request data, on the fixed examples of the requests.
class RequestDataTest : public ::testing::Test {};

TEST_F(RequestDataTest, SetAddressSpeed) {
  const auto data = ParseSetAddressSpeedData(Hex("32 06"));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->NewAddress, 0x32);
  EXPECT_EQ(data->SpeedCode, 6);
  EXPECT_FALSE(ParseSetAddressSpeedData(Hex("32")));
  EXPECT_FALSE(ParseSetAddressSpeedData(Hex("32 06 00")));
}

TEST_F(RequestDataTest, SetAddressBySerial) {
  const auto data = ParseSetAddressBySerialData(Hex("05 04 D2 00 2A"));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->NewAddress, 5);
  EXPECT_EQ(data->Serial.N1, 1234);
  EXPECT_EQ(data->Serial.N2, 42);
  EXPECT_FALSE(ParseSetAddressBySerialData(Hex("05 04 D2 00")));
}

TEST_F(RequestDataTest, BurnSerial) {
  const auto data = ParseBurnSerialData(Hex("00 01 00 02 20 30 01 01"));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->Serial.N1, 1);
  EXPECT_EQ(data->Serial.N2, 2);
  EXPECT_EQ(ToHex(data->Date), "20 30 01 01");
  EXPECT_FALSE(ParseBurnSerialData(Hex("00 01 00 02 20 30 01 01 00")));
}

}  // namespace
}  // namespace tarnel
