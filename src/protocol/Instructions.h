#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/ByteString.h"

namespace tarnel {

// The instruction codes the setup tool sends.
inline constexpr uint8_t InstrInfo = 0xF3, InstrWritePermission = 0xE4, InstrSetAddressSpeed = 0xE0,
                         InstrSetAddressBySerial = 0xEB, InstrReadValues = 0x51, InstrBurnSerial = 0xEA;

// Result codes in an answer; rcOk means the instruction was carried out, any other code is a refusal.
inline constexpr uint8_t rcOk = 0, rcUnknownInstruction = 1, rcWriteNotPermitted = 2, rcBadData = 3;

// The speeds a device can be set to with 0xE0, slowest first; the window's speed lists offer them in this
// order. The speed code of DeviceSpeeds[i] is FirstSpeedCode + i.
inline constexpr std::array<int32_t, 8> DeviceSpeeds = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
inline constexpr uint8_t FirstSpeedCode = 3;

// The device families whose measured values the tool can read, known by the model in their INFO text.
enum class TDeviceFamily {
  None,
  TempHumidityDew /* "HRW" */,
  Temperature /* "VKM7" */,
  AnalogChannels4 /* "KQ6" */
};

// The two four-digit groups of a serial number, each sent high byte first.
struct TSerialNumber {
  uint16_t N1 = 0;
  uint16_t N2 = 0;
};

struct TCalendarDate {
  int Year = 0;
  int Month = 0;
  int Day = 0;
};

// Universal 0xF3 without data: whichever device is on the line answers with its own address.
ByteString BuildFindDeviceRequest();

// Addressed 0xF3, tag 1: the answer's data is the INFO text.
ByteString BuildInfoRequest(uint8_t Address);

// 0xE4, tag 1: must be granted before 0xE0.
ByteString BuildWritePermissionRequest(uint8_t Address);

// 0xE0, tag 1, data: new address, speed code.
ByteString BuildSetAddressSpeedRequest(uint8_t Address, uint8_t NewAddress, uint8_t SpeedCode);

// 0xEB to the universal address with tag 1 (not the universal tag form), data: new address, N1, N2.
ByteString BuildSetAddressBySerialRequest(uint8_t NewAddress, TSerialNumber Serial);

// 0x51, tag 2; the "HRW" family wants one zero byte of data, every other family none. The caller sends no
// value request at all for TDeviceFamily::None.
ByteString BuildReadValuesRequest(uint8_t Address, TDeviceFamily Family);

// N2 high and low byte, then the date as four packed-BCD bytes: century, year, month, day (2026-12-07 gives
// 20 26 12 07). Each date part is taken modulo its digit count, so a byte always holds two decimal digits.
ByteString BuildSerialDateTail(uint16_t N2, const TCalendarDate& Date);

// Universal 0xEA: N1 high and low byte, then BuildSerialDateTail(N2, Date).
ByteString BuildBurnSerialRequest(TSerialNumber Serial, const TCalendarDate& Date);

// The device's speed code for an entry of the new-speed list: index + 3 (1200 bit/s is 3).
uint8_t SpeedCodeFromIndex(int NewSpeedIndex);

// The speed code of a device speed (bit/s); 0 for a speed no device can be set to.
uint8_t SpeedCodeOf(int32_t BitsPerSecond);

// The bit/s of a speed code: 3 is 1200 up to 10 for 115200; 0 for any other code.
int32_t SpeedFromCode(uint8_t Code);

// The request data a device reads, split; empty when Data does not have the instruction's size.

// 0xE0: new address, speed code.
struct TSetAddressSpeedData {
  uint8_t NewAddress = 0;
  uint8_t SpeedCode = 0;
};
std::optional<TSetAddressSpeedData> ParseSetAddressSpeedData(const ByteString& Data);

// 0xEB: new address, N1, N2.
struct TSetAddressBySerialData {
  uint8_t NewAddress = 0;
  TSerialNumber Serial;
};
std::optional<TSetAddressBySerialData> ParseSetAddressBySerialData(const ByteString& Data);

// 0xEA: N1, N2, then the four packed-BCD date bytes as sent.
struct TBurnSerialData {
  TSerialNumber Serial;
  ByteString Date;
};
std::optional<TBurnSerialData> ParseBurnSerialData(const ByteString& Data);

// Leading spaces skipped, then the decimal digits up to the first other character; no digit gives 0.
// A number above 65535 is clamped to 65535 rather than wrapped onto some other serial number.
uint16_t ParseSerialGroup(std::string_view Group);

// The serial-number field's text "NNNN\NNNN": group 1 is characters 1-4, group 2 characters 6-9; characters
// missing from a short text count as absent.
TSerialNumber ParseSerialNumberText(std::string_view Text);

// The model: the INFO text before its first ';' with a-z upper-cased; empty when there is no ';'.
std::string ModelFromInfo(const ByteString& Info);

// "HRW" and "VKM7" exactly, anything whose first three characters are "KQ6", else None.
TDeviceFamily FamilyOfModel(const std::string& Model);

}  // namespace tarnel
