#pragma once

#include <cstdint>

#include "engine/DeviceLine.h"
#include "protocol/Instructions.h"

namespace tarnel {

// What the window says of each outcome.
inline constexpr const char* kPermissionDeniedText =
    "No response from the module or write permission denied!";
inline constexpr const char* kAddressSpeedSetText = "New address and communication speed succesfully set.";
inline constexpr const char* kParametersNotSetText = "Error, new parameters not set!";
inline constexpr const char* kAddressSetText = "New address set succesfully.";
inline constexpr const char* kAddressNotSetText = "Error, new address not set!";
inline constexpr const char* kSeveralBySerialText =
    "Several devices answered to this serial number: each of them may now have the new address!";

enum class TSetOutcome {
  Done,
  NoPermission,  // 0xE4 was not granted: nothing was changed
  NotSet,
  Several  // several devices answered: each of them may have taken the new address
};

// The outcome, the answer to 0xE4 (by address only), and the answer to the instruction that set the
// address (0xE0 or 0xEB; none after NoPermission).
struct TSetResult {
  TSetOutcome Outcome = TSetOutcome::NotSet;
  TAnswer Permission;
  TAnswer Answer;
  ByteString AnswerBytes;  // everything that came back to that instruction, as it came
};

// 0xE4 and 0xE0 to OldAddress. A lost or damaged answer to 0xE0 does not mean the device stayed: it may
// already listen at its new address and speed, so it is asked there once (0xF3) before "not set" is said.
TSetResult SetAddressAndSpeed(TDeviceLine& Line, uint8_t OldAddress, uint8_t NewAddress, uint8_t SpeedCode);

// 0xEB to the device with Serial. Silence means no device has this number; after a damaged answer or
// several, the new address tells whether one device, or more, took it.
TSetResult SetAddressBySerial(TDeviceLine& Line, uint8_t NewAddress, TSerialNumber Serial);

// The text the window shows for an outcome of SetAddressAndSpeed (BySerial false) or SetAddressBySerial.
const char* SetOutcomeText(TSetOutcome Outcome, bool BySerial);

// What a look at the device after a change found.
enum class TVerifyOutcome {
  Verified,  // it answers at its new address and speed
  NotDone,   // silent there, but it still answers at its old address and speed
  Unknown    // it answers at neither, or not readably
};

// Asks (0xF3) at NewAddress and NewSpeed, then, when silent there, at OldAddress and OldSpeed; the line's
// speed is given back afterwards. OldSpeed 0 or OldAddress above MaxDeviceAddress skips the second look.
TVerifyOutcome VerifyMove(TDeviceLine& Line, uint8_t NewAddress, int32_t NewSpeed, uint8_t OldAddress,
                          int32_t OldSpeed);

// "verified", "not done" or "unknown".
const char* VerifyOutcomeName(TVerifyOutcome Outcome);

}  // namespace tarnel
