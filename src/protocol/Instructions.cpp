#include "protocol/Instructions.h"

#include "common/Bytes.h"
#include "protocol/Packet97.h"

namespace tarnel {

namespace {

constexpr uint8_t AddressedTag = 1;
constexpr uint8_t ReadValuesTag = 2;
constexpr uint16_t MaxGroupValue = 65535;

// Two decimal digits in one byte, tens in the high nibble; the value is taken modulo 100 first.
char PackedBcd(int value) {
  const int twoDigits = ((value % 100) + 100) % 100;
  return static_cast<char>((twoDigits / 10) << 4 | twoDigits % 10);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

ByteString BuildFindDeviceRequest() {
  return BuildUniversalRequest97(InstrInfo, "");
}

ByteString BuildInfoRequest(uint8_t Address) {
  return BuildPacket97(Address, AddressedTag, InstrInfo, "");
}

ByteString BuildWritePermissionRequest(uint8_t Address) {
  return BuildPacket97(Address, AddressedTag, InstrWritePermission, "");
}

ByteString BuildSetAddressSpeedRequest(uint8_t Address, uint8_t NewAddress, uint8_t SpeedCode) {
  ByteString data;
  data += static_cast<char>(NewAddress);
  data += static_cast<char>(SpeedCode);
  return BuildPacket97(Address, AddressedTag, InstrSetAddressSpeed, data);
}

ByteString BuildSetAddressBySerialRequest(uint8_t NewAddress, TSerialNumber Serial) {
  ByteString data(1, static_cast<char>(NewAddress));
  AppendWord(data, Serial.N1);
  AppendWord(data, Serial.N2);
  return BuildPacket97(UniversalAddress, AddressedTag, InstrSetAddressBySerial, data);
}

ByteString BuildReadValuesRequest(uint8_t Address, TDeviceFamily Family) {
  const ByteString data = Family == TDeviceFamily::TempHumidityDew ? ByteString(1, '\0') : ByteString();
  return BuildPacket97(Address, ReadValuesTag, InstrReadValues, data);
}

ByteString BuildSerialDateTail(uint16_t N2, const TCalendarDate& Date) {
  ByteString tail;
  AppendWord(tail, N2);
  const int year = ((Date.Year % 10000) + 10000) % 10000;
  tail += PackedBcd(year / 100);
  tail += PackedBcd(year);
  tail += PackedBcd(Date.Month);
  tail += PackedBcd(Date.Day);
  return tail;
}

ByteString BuildBurnSerialRequest(TSerialNumber Serial, const TCalendarDate& Date) {
  ByteString data;
  AppendWord(data, Serial.N1);
  return BuildUniversalRequest97(InstrBurnSerial, data + BuildSerialDateTail(Serial.N2, Date));
}

uint8_t SpeedCodeFromIndex(int NewSpeedIndex) {
  return static_cast<uint8_t>(NewSpeedIndex + FirstSpeedCode);
}

uint8_t SpeedCodeOf(int32_t BitsPerSecond) {
  for (size_t i = 0; i < DeviceSpeeds.size(); ++i)
    if (DeviceSpeeds[i] == BitsPerSecond) return static_cast<uint8_t>(FirstSpeedCode + i);
  return 0;
}

int32_t SpeedFromCode(uint8_t Code) {
  if (Code < FirstSpeedCode || Code - FirstSpeedCode >= static_cast<int>(DeviceSpeeds.size())) return 0;
  return DeviceSpeeds[Code - FirstSpeedCode];
}

std::optional<TSetAddressSpeedData> ParseSetAddressSpeedData(const ByteString& Data) {
  if (Data.size() != 2) return std::nullopt;
  return TSetAddressSpeedData{ByteAt(Data, 0), ByteAt(Data, 1)};
}

std::optional<TSetAddressBySerialData> ParseSetAddressBySerialData(const ByteString& Data) {
  if (Data.size() != 5) return std::nullopt;
  return TSetAddressBySerialData{ByteAt(Data, 0), TSerialNumber{WordAt(Data, 1), WordAt(Data, 3)}};
}

std::optional<TBurnSerialData> ParseBurnSerialData(const ByteString& Data) {
  if (Data.size() != 8) return std::nullopt;
  return TBurnSerialData{TSerialNumber{WordAt(Data, 0), WordAt(Data, 2)}, Data.substr(4, 4)};
}

uint16_t ParseSerialGroup(std::string_view Group) {
  std::size_t i = 0;
  while (i < Group.size() && Group[i] == ' ')
    ++i;
  uint32_t value = 0;
  for (; i < Group.size() && IsDigit(Group[i]); ++i) {
    value = value * 10 + static_cast<uint32_t>(Group[i] - '0');
    if (value > MaxGroupValue) return MaxGroupValue;
  }
  return static_cast<uint16_t>(value);
}

TSerialNumber ParseSerialNumberText(std::string_view Text) {
  TSerialNumber serial;
  serial.N1 = ParseSerialGroup(Text.substr(0, 4));
  if (Text.size() > 5) serial.N2 = ParseSerialGroup(Text.substr(5, 4));
  return serial;
}

std::string ModelFromInfo(const ByteString& Info) {
  const std::size_t end = Info.find(';');
  if (end == ByteString::npos) return "";
  std::string model = Info.substr(0, end);
  for (char& c : model)
    c = AsciiUpper(c);
  return model;
}

TDeviceFamily FamilyOfModel(const std::string& Model) {
  if (Model == "HRW") return TDeviceFamily::TempHumidityDew;
  if (Model == "VKM7") return TDeviceFamily::Temperature;
  if (Model.compare(0, 3, "KQ6") == 0) return TDeviceFamily::AnalogChannels4;
  return TDeviceFamily::None;
}

}  // namespace tarnel
