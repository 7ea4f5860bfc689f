#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/JsonLine.h"

namespace tarnel::cli {

// The exit status of every command.
enum TExitCode : int {
  ecDone = 0,
  ecNoAnswer = 1,
  ecBadArguments = 2,
  ecRefused = 3,  // refused by the device, or it did not take the change
  ecPortError = 4,
  ecUnclear = 5,  // damaged answer, several devices answered, or a change that could not be verified
  ecInterrupted = 130
};

// Where a command's results go: lines of text, or with --json one JSON object per result and line.
class TOutput {
 public:
  TOutput(bool Json, std::FILE* Out = stdout) : FJson(Json), FOut(Out) {}
  bool Json() const { return FJson; }
  // Each is written and flushed at once, so a script reading the output sees a result when it is there.
  void Text(const std::string& Line);
  void Object(const TJsonLine& Object);

 private:
  bool FJson;
  std::FILE* FOut;
};

// Whether Code is a character a terminal shows as itself: printable ASCII, the blank included.
bool IsPrintableAscii(uint8_t Code);

// "49 (0x31, "1")": decimal, hexadecimal and the character the window shows, which is left out unless it is
// printable ASCII (a control character would act on the terminal, a Latin-1 one may not show).
std::string AddressText(uint8_t Address);

// One of the window's log lines, which name the device by its address character in quotes ("1"), for a
// terminal: when that character is not printable ASCII, AddressText takes its place ("12 (0x0C)").
std::string WithPrintableAddress(const std::string& LogLine, uint8_t Address);

// "address": 49, "address_hex": "0x31", "address_char": "1" under Key ("address" by default).
TJsonLine& AddAddress(TJsonLine& Object, uint8_t Address, const std::string& Key = "address");

// A message's lines joined into one: "Can't open device COM3: COM3 (/dev/ttyUSB2) is in use by ...".
std::string OneLine(const std::string& Message);

}  // namespace tarnel::cli
