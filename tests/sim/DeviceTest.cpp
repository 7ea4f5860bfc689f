#include "sim/Device.h"

#include <gtest/gtest.h>

#include "../protocol/HexBytes.h"
#include "protocol/Decoders.h"
#include "protocol/Instructions.h"
#include "protocol/Packet97.h"

namespace tarnel::sim {
namespace {

using test::Hex;
using test::ToHex;

class SimDeviceTest : public ::testing::Test {
 protected:
  SimDeviceTest() : device(Config()) {}

  static TDeviceConfig Config() {
    TDeviceConfig config;
    config.Address = 0x31;
    config.Speed = 9600;
    config.Serial = {1234, 42};
    config.Info = "HRW;hall 2";
    return config;
  }

  TDeviceAction Send(const ByteString& Request) { return device.Handle(ParsePacket97(Request)); }

  // The answer as the tool's standard check sees it.
  static TTarnelFormat97 Answer(const TDeviceAction& Action) {
    EXPECT_TRUE(Action.Answers);
    EXPECT_EQ(CheckPacket97(Action.Answer), 0) << ToHex(Action.Answer);
    return ParsePacket97(Action.Answer);
  }

  TSimDevice device;
};

TEST_F(SimDeviceTest, AddressedInfoCarriesTheTagTheAddressAndTheText) {
  const TTarnelFormat97 answer = Answer(Send(BuildInfoRequest(0x31)));
  EXPECT_EQ(answer.Address, 0x31);
  EXPECT_EQ(answer.Tag, 1);
  EXPECT_EQ(answer.Code, rcOk);
  EXPECT_EQ(answer.Data, "HRW;hall 2");
}

TEST_F(SimDeviceTest, UniversalFindIsAnsweredWithTheDevicesOwnAddress) {
  const TTarnelFormat97 answer = Answer(Send(Hex("2A 61 00 05 FE F3 F3 8B 0D")));
  EXPECT_EQ(answer.Address, 0x31);
  EXPECT_EQ(answer.Tag, 0xF3);
}

TEST_F(SimDeviceTest, RequestsForOtherAddressesAreIgnored) {
  EXPECT_FALSE(Send(BuildInfoRequest(0x32)).Answers);
  EXPECT_FALSE(Send(BuildPacket97(SpecialAddress, 1, InstrInfo, {})).Answers);
}

TEST_F(SimDeviceTest, SetAddressSpeedNeedsThePermissionJustBefore) {
  const ByteString setRequest = Hex("2A 61 00 07 31 01 E0 32 06 23 0D");
  EXPECT_EQ(Answer(Send(setRequest)).Code, rcWriteNotPermitted);

  EXPECT_EQ(Answer(Send(BuildWritePermissionRequest(0x31))).Code, rcOk);
  EXPECT_TRUE(device.State().WritePermission);
  const TDeviceAction action = Send(setRequest);
  const TTarnelFormat97 answer = Answer(action);
  EXPECT_EQ(answer.Code, rcOk);
  EXPECT_EQ(answer.Address, 0x31) << "the answer still comes from the old address";
  EXPECT_EQ(device.State().Address, 0x31) << "nothing changes before the answer is out";
  device.TakeNewSettings(action);
  EXPECT_EQ(device.State().Address, 0x32);
  EXPECT_EQ(device.State().Speed, 9600);
  EXPECT_FALSE(device.State().WritePermission);
}

TEST_F(SimDeviceTest, PermissionIsLostToAnyOtherRequestInBetween) {
  Send(BuildWritePermissionRequest(0x31));
  Send(BuildInfoRequest(0x31));
  EXPECT_EQ(Answer(Send(BuildSetAddressSpeedRequest(0x31, 0x40, 10))).Code, rcWriteNotPermitted);
}

TEST_F(SimDeviceTest, SetAddressSpeedRefusesWhatADeviceCannotTake) {
  Send(BuildWritePermissionRequest(0x31));
  EXPECT_EQ(Answer(Send(BuildSetAddressSpeedRequest(0x31, UniversalAddress, 6))).Code, rcBadData);
  Send(BuildWritePermissionRequest(0x31));
  EXPECT_EQ(Answer(Send(BuildSetAddressSpeedRequest(0x31, 0x40, 11))).Code, rcBadData);
  EXPECT_EQ(device.State().Address, 0x31);
}

TEST_F(SimDeviceTest, SpeedCodesCoverTheNewSpeedList) {
  EXPECT_EQ(SpeedFromCode(3), 1200);
  EXPECT_EQ(SpeedFromCode(6), 9600);
  EXPECT_EQ(SpeedFromCode(10), 115200);
  EXPECT_EQ(SpeedFromCode(2), 0);
  EXPECT_EQ(SpeedFromCode(11), 0);
}

TEST_F(SimDeviceTest, SetAddressBySerialNumberMovesOnlyTheNamedDevice) {
  EXPECT_FALSE(Send(BuildSetAddressBySerialRequest(5, {1234, 43})).Answers);
  const TDeviceAction action = Send(BuildSetAddressBySerialRequest(5, {1234, 42}));
  EXPECT_EQ(ToHex(ParsePacket97(BuildSetAddressBySerialRequest(5, {1234, 42})).Data), "05 04 D2 00 2A");
  EXPECT_EQ(Answer(action).Code, rcOk);
  device.TakeNewSettings(action);
  EXPECT_EQ(device.State().Address, 5);
  EXPECT_EQ(device.State().Speed, 9600);
}

TEST_F(SimDeviceTest, BurnSerialStoresTheNumberAndTheDate) {
  const TTarnelFormat97 answer = Answer(Send(BuildBurnSerialRequest({1, 2}, {2030, 1, 1})));
  EXPECT_EQ(answer.Code, rcOk);
  EXPECT_EQ(answer.Tag, InstrBurnSerial);
  EXPECT_EQ(device.State().Serial.N1, 1);
  EXPECT_EQ(device.State().Serial.N2, 2);
  EXPECT_EQ(ToHex(device.State().Date), "20 30 01 01");
  EXPECT_EQ(device.State().DateText(), "2030-01-01");
}

TEST_F(SimDeviceTest, ValuesOfTheHrwFamilyDecodeAsTheToolDecodesThem) {
  const TTarnelFormat97 answer = Answer(Send(BuildReadValuesRequest(0x31, TDeviceFamily::TempHumidityDew)));
  EXPECT_EQ(answer.Tag, 2);
  double temperature = 0, humidity = 0, dew = 0;
  bool valid = false;
  ASSERT_TRUE(DecodeTempHumidityDew(answer.Data, temperature, humidity, dew, valid));
  EXPECT_DOUBLE_EQ(temperature, 21.5);
  EXPECT_DOUBLE_EQ(humidity, 45.0);
  EXPECT_DOUBLE_EQ(dew, 9.2);
  EXPECT_TRUE(valid);
}

TEST_F(SimDeviceTest, GivenValuesAreAnsweredAsTheyStand) {
  device.SetValues(Hex("FF E0"));
  EXPECT_EQ(ToHex(Answer(Send(BuildReadValuesRequest(0x31, TDeviceFamily::Temperature))).Data), "FF E0");
}

TEST_F(SimDeviceTest, UnknownInstructionsAreRefused) {
  const TTarnelFormat97 answer = Answer(Send(BuildPacket97(0x31, 7, 0x42, {})));
  EXPECT_EQ(answer.Code, rcUnknownInstruction);
  EXPECT_EQ(answer.Tag, 7);
}

TEST_F(SimDeviceTest, SilentDeviceDoesNothing) {
  device.SetFaults({.Silent = true});
  EXPECT_FALSE(Send(BuildWritePermissionRequest(0x31)).Answers);
  EXPECT_FALSE(device.State().WritePermission);
  EXPECT_FALSE(Send(BuildBurnSerialRequest({7, 7}, {2030, 1, 1})).Answers);
  EXPECT_TRUE(device.State().Date.empty());
}

TEST_F(SimDeviceTest, RefusingDeviceAnswersItsCodeAndChangesNothing) {
  device.SetFaults({.RefuseCode = 9});
  EXPECT_EQ(Answer(Send(BuildWritePermissionRequest(0x31))).Code, 9);
  EXPECT_FALSE(device.State().WritePermission);
  EXPECT_EQ(Answer(Send(BuildBurnSerialRequest({7, 7}, {2030, 1, 1}))).Code, 9);
  EXPECT_EQ(device.State().Serial.N1, 1234);
}

TEST_F(SimDeviceTest, BadChecksumStillCarriesTheInstructionOut) {
  device.SetFaults({.BadChecksum = true});
  const TDeviceAction action = Send(BuildBurnSerialRequest({7, 8}, {2030, 1, 1}));
  ASSERT_TRUE(action.Answers);
  EXPECT_EQ(CheckPacket97(action.Answer), 5);
  EXPECT_EQ(device.State().Serial.N2, 8);
}

}  // namespace
}  // namespace tarnel::sim
