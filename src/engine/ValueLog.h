#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/ByteString.h"
#include "engine/DeviceLine.h"
#include "protocol/Instructions.h"

namespace tarnel {

// Replaces "{0}", "{1}", ... in ascending order, every occurrence, by plain text substitution.
std::string FormatLogTemplate(std::string Template, std::initializer_list<std::string> Values);

// The address as the window shows it: the character with that code (UTF-8).
std::string AddressCharacter(uint8_t Address);

// Whether that character can be shown at all: no control character (C0, DEL, C1), which a list draws as
// nothing or as a box.
inline bool HasPrintableCharacter(uint8_t Address) {
  return Address >= 0x20 && Address != 0x7F && !(Address >= 0x80 && Address < 0xA0);
}

// Text of single-byte characters (an INFO text as the device sends it) in UTF-8.
std::string Latin1ToUtf8(const std::string& Text);

// How the value request went.
enum class TValuesStatus {
  NotAsked,   // the family has no value layout: no request was sent
  Damaged,    // the answer could not be read
  NoAnswer,   // no answer, or a refusal
  Misshapen,  // an answer whose data does not have the family's layout
  Ok
};

// What "Read Values" learns of one address, and the lines the log shows for it.
struct TDeviceReading {
  uint8_t Address = 0;
  TAnswerStatus InfoStatus = TAnswerStatus::NoAnswer;
  std::string Info;  // the INFO text when InfoStatus is Ok, as the device sent it
  TDeviceFamily Family = TDeviceFamily::None;
  TValuesStatus ValuesStatus = TValuesStatus::NotAsked;
  ByteString Values;                  // the value data when ValuesStatus is Ok
  std::vector<std::string> LogLines;  // UTF-8
};

// INFO, then (unless InfoOnly) the value request of the family its model names. Numbers in the log lines
// are written with DecimalPoint (the window's locale; "." elsewhere).
TDeviceReading ReadInfoAndValues(TDeviceLine& Line, uint8_t Address, const std::string& DecimalPoint = ".",
                                 bool InfoOnly = false);

}  // namespace tarnel
