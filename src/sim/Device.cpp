#include "sim/Device.h"

#include <cstdio>

#include "sim/Values.h"

namespace tarnel::sim {

namespace {

constexpr uint8_t MaxDeviceAddress = 253;

uint16_t WordAt(const ByteString& Data, size_t Offset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(Data[Offset]) * 256 +
                               static_cast<uint8_t>(Data[Offset + 1]));
}

}  // namespace

std::string TDeviceState::DateText() const {
  if (Date.size() != 4) return {};
  const auto b = [this](int i) { return static_cast<unsigned>(static_cast<uint8_t>(Date[i])); };
  char text[16];
  std::snprintf(text, sizeof text, "%02X%02X-%02X-%02X", b(0), b(1), b(2), b(3));
  return text;
}

int32_t SpeedFromCode(uint8_t Code) {
  static const int32_t speeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
  if (Code < 3 || Code > 10) return 0;
  return speeds[Code - 3];
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
  if (Request.Code == InstrSetAddressBySerial && !SerialMatches(Request.Data)) return {};
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

bool TSimDevice::SerialMatches(const ByteString& Data) const {
  return Data.size() == 5 && WordAt(Data, 1) == FState.Serial.N1 && WordAt(Data, 3) == FState.Serial.N2;
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
  if (Request.Data.size() != 2) return Answer(Request, rcBadData);
  const auto newAddress = static_cast<uint8_t>(Request.Data[0]);
  const int32_t newSpeed = SpeedFromCode(static_cast<uint8_t>(Request.Data[1]));
  if (newAddress > MaxDeviceAddress || newSpeed == 0) return Answer(Request, rcBadData);
  TDeviceAction action = Answer(Request, rcOk);
  action.NewAddress = newAddress;
  action.NewSpeed = newSpeed;
  return action;
}

TDeviceAction TSimDevice::SetAddressBySerial(const TTarnelFormat97& Request) {
  const auto newAddress = static_cast<uint8_t>(Request.Data[0]);
  if (newAddress > MaxDeviceAddress) return Answer(Request, rcBadData);
  TDeviceAction action = Answer(Request, rcOk);
  action.NewAddress = newAddress;
  return action;
}

TDeviceAction TSimDevice::BurnSerial(const TTarnelFormat97& Request) {
  if (Request.Data.size() != 8) return Answer(Request, rcBadData);
  FState.Serial = TSerialNumber{WordAt(Request.Data, 0), WordAt(Request.Data, 2)};
  FState.Date = Request.Data.substr(4, 4);
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
