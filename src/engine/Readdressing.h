#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/DeviceLine.h"
#include "engine/DeviceSearch.h"
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
inline constexpr const char* kUnconfirmedText =
    "Another device answers at the new address: whether this device took the new address is not known. "
    "Check the line before you go on.";

enum class TSetOutcome {
  Done,
  NoPermission,  // 0xE4 was not granted: nothing was changed
  NotSet,
  Several,     // several devices answered: each of them may have taken the new address
  Declined,    // a device already answers at the new place and the user did not go on: nothing was sent
  Unconfirmed  // a device answers at the new place, but it is not shown to be the one that was moved
};

// Asked when a device already answers at the new place, with what answered there; true goes on all the same.
using TGoOnOverOccupant = std::function<bool(const TFinding& Occupant)>;

// The outcome, the answer to 0xE4 (by address only), and the answer to the instruction that set the
// address (0xE0 or 0xEB; none after NoPermission or Declined).
struct TSetResult {
  TSetOutcome Outcome = TSetOutcome::NotSet;
  TFinding Occupant;  // what answered at the new place before the change; Silent when it was free
  TFinding Moving;    // the device's own INFO answer, read before it was moved onto an occupied place
  TAnswer Permission;
  TAnswer Answer;
  ByteString AnswerBytes;  // everything that came back to that instruction, as it came
};

// 0xE4 and 0xE0 to OldAddress. The new place (NewAddress at the new speed) is asked first, unless it is the
// device's own: when a device answers there, GoOn decides (none: stop). A lost or damaged answer to 0xE0 does
// not mean the device stayed: it may already listen at its new place, so it is asked there once (0xF3).
TSetResult SetAddressAndSpeed(TDeviceLine& Line, uint8_t OldAddress, uint8_t NewAddress, uint8_t SpeedCode,
                              const TGoOnOverOccupant& GoOn = {});

// 0xEB to the device with Serial, after the same look at NewAddress (at the line's speed). Every answer is
// heard; after silence or a damaged answer the new address tells whether one device, or more, took it.
TSetResult SetAddressBySerial(TDeviceLine& Line, uint8_t NewAddress, TSerialNumber Serial,
                              const TGoOnOverOccupant& GoOn = {});

// Whether There, what answers at the new place after the change, is shown to be the device that was moved:
// the place was free before, or the moved device's INFO text, read before, differs from the one of the
// device that sat there and is what answers now. Identical devices at one place cannot be told apart.
bool IsTheMovedDevice(const TSetResult& Change, const TFinding& There);

// The text the window shows for an outcome of SetAddressAndSpeed (BySerial false) or SetAddressBySerial;
// empty for Declined, where the user has just said no.
const char* SetOutcomeText(TSetOutcome Outcome, bool BySerial);

// What is said of an occupied new place; Where names it ("address 65 at 19200 bit/s").
std::string OccupiedPlaceText(const TFinding& Occupant, const std::string& Where);

// What a look at the device after a change found.
enum class TVerifyOutcome {
  Verified,  // it answers at its new address and speed
  NotDone,   // silent there, but it still answers at its old address and speed
  Unknown    // it answers at neither, not readably, or another device answers at the new place
};

// Asks (0xF3) at NewAddress and NewSpeed, then, when silent there, at OldAddress and OldSpeed; the line's
// speed is given back afterwards. OldSpeed 0 or OldAddress above MaxDeviceAddress skips the second look.
// What answers at the new place counts only when IsTheMovedDevice(Change, it).
TVerifyOutcome VerifyMove(TDeviceLine& Line, const TSetResult& Change, uint8_t NewAddress, int32_t NewSpeed,
                          uint8_t OldAddress, int32_t OldSpeed);

// "verified", "not done" or "unknown".
const char* VerifyOutcomeName(TVerifyOutcome Outcome);

}  // namespace tarnel
