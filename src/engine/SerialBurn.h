#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/DeviceLine.h"
#include "protocol/Instructions.h"

namespace tarnel {

inline constexpr const char* kSerialIncompleteText =
    "Type the whole serial number: eight digits 0-9, as on the device label (NNNN\\NNNN). Nothing was "
    "written.";

// Eight ASCII digits in two groups of four with one separator between them: a slash, a backslash (what the
// window's masked field gives) or a hyphen ("0123/4567"); other separators, other scripts' digits, blanks
// and short numbers are not a serial number. Text is UTF-8.
bool IsCompleteSerialNumber(std::string_view Text);

// The serial number of a complete text; empty for anything IsCompleteSerialNumber refuses.
std::optional<TSerialNumber> SerialNumberOf(std::string_view Text);

// "0123/4567"
std::string SerialNumberText(TSerialNumber Serial);

// The number after Serial, counting the eight digits as one number ("0123/9999" is followed by
// "0124/0000"); empty after "9999/9999".
std::optional<TSerialNumber> NextSerialNumber(TSerialNumber Serial);

enum class TBurnOutcome {
  NoAnswer,  // nothing came back: no device took the number
  Set,       // one device answered with Code 0
  Refused,   // the device refused it (Answer.Packet.Code)
  Damaged,   // the answer could not be read: perhaps several devices answered at once
  Several    // several devices answered: each of them may have taken it
};

struct TBurnResult {
  TBurnOutcome Outcome = TBurnOutcome::NoAnswer;
  TAnswer Answer;
};

// The number and Date to the universal address: every device on the line takes it, so the line is heard for
// the whole time-out and two answers are Several, never Set.
TBurnResult BurnSerialNumber(TDeviceLine& Line, TSerialNumber Serial, const TCalendarDate& Date);

// The window's log line for an outcome.
std::string BurnLogLine(const TBurnResult& Result, const std::string& SerialText);

}  // namespace tarnel
