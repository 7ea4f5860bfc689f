#include "engine/SerialBurn.h"

#include <cstdio>

#include "engine/ValueLog.h"

namespace tarnel {
namespace {

constexpr const char* kSerialNumberSet = "Sériové číslo bylo nastaveno.";
constexpr const char* kSerialNoAnswer =
    "No device answered: the serial number {1} was probably not written (is the device connected, at this "
    "speed?).";
constexpr const char* kSerialRefused = "The device refused the serial number (result code {1}).";
constexpr const char* kSerialDamaged =
    "The answer to the serial number write was damaged (several devices on the line?): check the serial "
    "number of each device.";
constexpr const char* kSerialSeveral =
    "Several devices answered: each of them may have taken the serial number {1}.";

constexpr size_t kSerialTextSize = 9;
constexpr size_t kSeparatorAt = 4;

}  // namespace

bool IsCompleteSerialNumber(std::string_view Text) {
  if (Text.size() != kSerialTextSize) return false;
  for (size_t i = 0; i < kSerialTextSize; ++i) {
    if (i == kSeparatorAt) continue;
    if (Text[i] < '0' || Text[i] > '9') return false;
  }
  const char separator = Text[kSeparatorAt];
  return separator == '/' || separator == '\\' || separator == '-';
}

std::optional<TSerialNumber> SerialNumberOf(std::string_view Text) {
  if (!IsCompleteSerialNumber(Text)) return std::nullopt;
  return ParseSerialNumberText(Text);
}

std::string SerialNumberText(TSerialNumber Serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%04u/%04u", static_cast<unsigned>(Serial.N1 % 10000),
                static_cast<unsigned>(Serial.N2 % 10000));
  return text;
}

std::optional<TSerialNumber> NextSerialNumber(TSerialNumber Serial) {
  if (Serial.N2 < 9999) return TSerialNumber{Serial.N1, static_cast<uint16_t>(Serial.N2 + 1)};
  if (Serial.N1 < 9999) return TSerialNumber{static_cast<uint16_t>(Serial.N1 + 1), 0};
  return std::nullopt;
}

TBurnResult BurnSerialNumber(TDeviceLine& Line, TSerialNumber Serial, const TCalendarDate& Date) {
  TBurnResult result;
  result.Answer = Line.AskEveryDevice(BuildBurnSerialRequest(Serial, Date));
  const TAnswer& answer = result.Answer;
  if (answer.Status == TAnswerStatus::NoAnswer)
    result.Outcome = TBurnOutcome::NoAnswer;
  else if (answer.MoreFollows)
    result.Outcome = TBurnOutcome::Several;
  else if (answer.Status == TAnswerStatus::Ok)
    result.Outcome = TBurnOutcome::Set;
  else if (answer.Status == TAnswerStatus::Refused)
    result.Outcome = TBurnOutcome::Refused;
  else
    result.Outcome = TBurnOutcome::Damaged;
  return result;
}

std::string BurnLogLine(const TBurnResult& Result, const std::string& SerialText) {
  switch (Result.Outcome) {
    case TBurnOutcome::NoAnswer:
      return FormatLogTemplate(kSerialNoAnswer, {{}, SerialText});
    case TBurnOutcome::Set:
      return kSerialNumberSet;
    case TBurnOutcome::Several:
      return FormatLogTemplate(kSerialSeveral, {{}, SerialText});
    case TBurnOutcome::Refused:
      return FormatLogTemplate(kSerialRefused, {{}, std::to_string(Result.Answer.Packet.Code)});
    case TBurnOutcome::Damaged:
      break;
  }
  return kSerialDamaged;
}

}  // namespace tarnel
