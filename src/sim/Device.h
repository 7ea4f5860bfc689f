#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/ByteString.h"
#include "protocol/Instructions.h"
#include "protocol/Packet97.h"

namespace tarnel::sim {

// Faults a simulated device can show, for tests and demonstrations. All are off by default.
struct TDeviceFaults {
  bool Silent = false;        // answers nothing and carries nothing out (an echo still comes back)
  bool BadChecksum = false;   // carries the instruction out, but its answer's checksum is wrong
  bool LostAnswer = false;    // carries the instruction out, but its answer never reaches the line
  uint8_t RefuseCode = 0;     // non-zero: refuses every instruction with this result code, changes nothing
  int AnswerDelayMs = 0;      // extra wait before the answer starts
  int SplitGapMs = 0;         // > 0: the answer goes out in two halves with this gap between them
  bool Echo = false;          // every request it hears comes back on the line first (converter with echo)
  bool StrayByte = false;     // one byte of noise on the line right before the answer
  uint8_t StrayValue = 0x00;  // the noise byte
  // > 0: once the simulator runs, one noise byte (BabbleValue) every this many ms, asked or not, for ever
  int BabbleIntervalMs = 0;
  uint8_t BabbleValue = 0x00;
  std::optional<uint8_t> AnswerAddress{};  // answers carry this address instead of the device's own
};

// How a simulated device starts.
struct TDeviceConfig {
  uint8_t Address = 1;
  int32_t Speed = 9600;  // bit/s; the device hears and answers only when the port runs at this speed
  TSerialNumber Serial{};
  std::string Info = "HRW;Tarnel simulated device";  // the INFO text; its model picks the value layout
  std::optional<ByteString> Values{};                // data answered to 0x51; unset: the family's default
  TDeviceFaults Faults{};
};

// A device's current state, as a test or the log sees it.
struct TDeviceState {
  uint8_t Address = 1;
  int32_t Speed = 9600;
  TSerialNumber Serial{};
  ByteString Date;  // the four packed-BCD bytes last written with 0xEA; empty until then
  std::string Info;
  ByteString Values;
  bool WritePermission = false;  // granted by 0xE4 for the next request addressed to the device only
  TDeviceFaults Faults{};

  // "2026-12-07" from the BCD bytes, or empty while no date was written.
  std::string DateText() const;
};

// What a device does about one request it heard: its answer, and the settings it takes once that answer
// is out (a device keeps talking at its old address and speed until its answer has left).
struct TDeviceAction {
  bool Answers = false;
  ByteString Answer;
  std::optional<uint8_t> NewAddress;
  std::optional<int32_t> NewSpeed;
};

// One simulated device: answers the instructions of the setup tool as a device does. It knows nothing of
// lines and timing; the simulator decides whether it hears a request (speed) and when its answer goes out.
class TSimDevice {
 public:
  explicit TSimDevice(const TDeviceConfig& Config);

  // Request is a complete valid packet heard at the device's speed. Requests for another address, and 0xEB
  // naming another serial number, are ignored; 255 is nobody's address.
  TDeviceAction Handle(const TTarnelFormat97& Request);

  // Takes the address and speed an answered instruction asked for.
  void TakeNewSettings(const TDeviceAction& Action);

  const TDeviceState& State() const { return FState; }
  void SetFaults(const TDeviceFaults& Faults) { FState.Faults = Faults; }
  void SetValues(const ByteString& Values) { FState.Values = Values; }
  void SetInfo(const std::string& Info) { FState.Info = Info; }

 private:
  bool Hears(const TTarnelFormat97& Request) const;
  bool SerialMatches(const TSerialNumber& Serial) const;
  TDeviceAction Carry(const TTarnelFormat97& Request, bool Permitted);
  TDeviceAction SetAddressSpeed(const TTarnelFormat97& Request, bool Permitted);
  TDeviceAction SetAddressBySerial(const TTarnelFormat97& Request);
  TDeviceAction BurnSerial(const TTarnelFormat97& Request);
  TDeviceAction Answer(const TTarnelFormat97& Request, uint8_t Code, const ByteString& Data = {}) const;

  TDeviceState FState;
};

}  // namespace tarnel::sim
