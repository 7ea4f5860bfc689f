#include "sim/Device.h"

#include <cstdio>

#include "sim/Values.h"

namespace tarnel::sim {

std::string TDeviceState::DateText() const {
  if (Date.size() != 4) return {};
  const auto b = [this](int i) { return static_cast<unsigned>(static_cast<uint8_t>(Date[i])); };
  char text[16];
  std::snprintf(text, sizeof text, "%02X%02X-%02X-%02X", b(0), b(1), b(2), b(3));
  return text;
}

TSimDevice::TSimDevice(const TDeviceConfig& Config) {
  FState.Address = Config.Address;
  FState.Speed = Config.Speed;
  FState.Serial = Config.Serial;
  FState.Info = Config.Info;
  FState.Values =
      Config.Values ? *Config.Values : DefaultFamilyValues(FamilyOfModel(ModelFromInfo(Config.Info)));
  FState.Faults = Config.Faults;
}

TDeviceAction TSimDevice::Handle(const TTarnelFormat97& Request) {
  if (FState.Faults.Silent || !Hears(Request)) return {};
  if (Request.Code == InstrSetAddressBySerial) {
    const std::optional<TSetAddressBySerialData> data = ParseSetAddressBySerialData(Request.Data);
    if (!data || !SerialMatches(data->Serial)) return {};
  }
  // The permission from 0xE4 covers only the very next request the device takes.
  const bool permitted = FState.WritePermission;
  FState.WritePermission = false;
  if (FState.Faults.RefuseCode != 0) return Answer(Request, FState.Faults.RefuseCode);
  TDeviceAction action = Carry(Request, permitted);
  if (FState.Faults.BadChecksum && action.Answers) {
    char& checksum = action.Answer[action.Answer.size() - 2];
    checksum = static_cast<char>(checksum ^ 0x5A);
  }
  return action;
}

void TSimDevice::TakeNewSettings(const TDeviceAction& Action) {
  if (Action.NewAddress) FState.Address = *Action.NewAddress;
  if (Action.NewSpeed) FState.Speed = *Action.NewSpeed;
}

bool TSimDevice::Hears(const TTarnelFormat97& Request) const {
  return Request.Address == FState.Address || Request.Address == UniversalAddress;
}

bool TSimDevice::SerialMatches(const TSerialNumber& Serial) const {
  return Serial.N1 == FState.Serial.N1 && Serial.N2 == FState.Serial.N2;
}

TDeviceAction TSimDevice::Carry(const TTarnelFormat97& Request, bool Permitted) {
  switch (Request.Code) {
    case InstrInfo:
      return Answer(Request, rcOk, FState.Info);
    case InstrWritePermission:
      FState.WritePermission = true;
      return Answer(Request, rcOk);
    case InstrSetAddressSpeed:
      return SetAddressSpeed(Request, Permitted);
    case InstrSetAddressBySerial:
      return SetAddressBySerial(Request);
    case InstrReadValues:
      return Answer(Request, rcOk, FState.Values);
    case InstrBurnSerial:
      return BurnSerial(Request);
    default:
      return Answer(Request, rcUnknownInstruction);
  }
}

TDeviceAction TSimDevice::SetAddressSpeed(const TTarnelFormat97& Request, bool Permitted) {
  if (!Permitted) return Answer(Request, rcWriteNotPermitted);
  const std::optional<TSetAddressSpeedData> data = ParseSetAddressSpeedData(Request.Data);
  if (!data) return Answer(Request, rcBadData);
  const int32_t newSpeed = SpeedFromCode(data->SpeedCode);
  if (data->NewAddress > MaxDeviceAddress || newSpeed == 0) return Answer(Request, rcBadData);
  TDeviceAction action = Answer(Request, rcOk);
  action.NewAddress = data->NewAddress;
  action.NewSpeed = newSpeed;
  return action;
}

// Handle has made sure the data is whole and names this device.
TDeviceAction TSimDevice::SetAddressBySerial(const TTarnelFormat97& Request) {
  const uint8_t newAddress = ParseSetAddressBySerialData(Request.Data)->NewAddress;
  if (newAddress > MaxDeviceAddress) return Answer(Request, rcBadData);
  TDeviceAction action = Answer(Request, rcOk);
  action.NewAddress = newAddress;
  return action;
}

TDeviceAction TSimDevice::BurnSerial(const TTarnelFormat97& Request) {
  const std::optional<TBurnSerialData> data = ParseBurnSerialData(Request.Data);
  if (!data) return Answer(Request, rcBadData);
  FState.Serial = data->Serial;
  FState.Date = data->Date;
  return Answer(Request, rcOk);
}

TDeviceAction TSimDevice::Answer(const TTarnelFormat97& Request, uint8_t Code, const ByteString& Data) const {
  TDeviceAction action;
  action.Answers = true;
  action.Answer =
      BuildPacket97(FState.Faults.AnswerAddress.value_or(FState.Address), Request.Tag, Code, Data);
  return action;
}

}  // namespace tarnel::sim
