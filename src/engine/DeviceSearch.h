#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/DeviceLine.h"

namespace tarnel {

inline constexpr const char* kNoModuleFoundText = "No module found on selected communication interface!";

// The device speeds in the order a search tries them: the common ones first, the slowest last.
inline constexpr std::array<int32_t, 8> SearchSpeedOrder = {9600,  19200, 115200, 57600,
                                                            38400, 4800,  2400,   1200};

// What one question to the line found.
enum class TFindStatus {
  Silent,   // nothing came back
  Found,    // one device answered
  Refused,  // a device answered with a non-zero result code
  Damaged,  // something came back that is no readable answer: noise, or two devices answering at once
  Several   // a readable answer, and more bytes after it: another device answered too
};

struct TFinding {
  TFindStatus Status = TFindStatus::Silent;
  uint8_t Address = 0;  // the answering device's (or the address asked, when it was one device's)
  int32_t Speed = 0;    // bit/s the line ran at
  std::string Info;     // the INFO text the device answered with
  uint8_t Code = 0;     // the result code of a refusal
};

// Whether a finding is a device that answered, readable or not: everything but silence.
inline bool HeardSomething(const TFinding& Finding) {
  return Finding.Status != TFindStatus::Silent;
}

// The universal identification request at the line's speed: the one device on the line says its address.
TFinding FindDevice(TDeviceLine& Line);

// FindDevice at each of Speeds in turn, stopping at the first speed where something answered (readable or
// not); the line's speed is given back afterwards. Silent (at speed 0) when nothing answered anywhere, or
// Cancel was set (it is looked at before each speed). Progress, when given, hears each speed before it is
// tried.
TFinding FindAtSpeeds(TDeviceLine& Line, const std::vector<int32_t>& Speeds, const std::atomic<bool>& Cancel,
                      const std::function<void(int32_t Speed)>& Progress = {});

// The INFO request to one address within TimeoutMs: what answers there.
TFinding AskAddress(TDeviceLine& Line, uint8_t Address, int32_t TimeoutMs);

// How long each address has to begin its answer in a scan unless the user says otherwise (the command line
// and the window alike): a device answers within a few milliseconds, and a USB adapter adds up to 16 ms each
// way, so this leaves room three times over while a scan of one speed stays at about 30 s.
inline constexpr int32_t DefaultScanTimeoutMs = 100;

// A scan asks every address at every speed, speed by speed.
struct TScanPlan {
  std::vector<uint8_t> Addresses;
  std::vector<int32_t> Speeds;
  int32_t TimeoutMs = 0;
};

// How far a scan is: questions asked so far of Total, and where it is now.
struct TScanProgress {
  size_t Done = 0;
  size_t Total = 0;
  int32_t Speed = 0;
  uint8_t Address = 0;
};

struct TScanReport {
  std::vector<TFinding> Findings;  // everything that was not silence, in the order found
  size_t Asked = 0;                // questions asked
  bool Cancelled = false;          // Cancel ended it before the plan was through
};

// Runs the plan; Cancel is looked at before each question (after Progress, which may be where it is set),
// so a cancelled scan ends within one exchange with what it found so far. Found hears each finding at once,
// Progress each question before it is asked. The line's speed is given back afterwards.
TScanReport ScanLine(TDeviceLine& Line, const TScanPlan& Plan, const std::atomic<bool>& Cancel,
                     const std::function<void(const TFinding&)>& Found = {},
                     const std::function<void(const TScanProgress&)>& Progress = {});

}  // namespace tarnel
