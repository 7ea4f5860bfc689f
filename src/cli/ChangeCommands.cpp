#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/ProvisioningLog.h"
#include "common/Bytes.h"
#include "engine/DeviceSearch.h"
#include "engine/Readdressing.h"
#include "engine/SerialBurn.h"
#include "engine/ValueLog.h"

namespace tarnel::cli {
namespace {

const char* SetOutcomeName(TSetOutcome Outcome) {
  switch (Outcome) {
    case TSetOutcome::Done:
      return "done";
    case TSetOutcome::NoPermission:
      return "no permission";
    case TSetOutcome::NotSet:
      return "not set";
    case TSetOutcome::Declined:
      return "address taken";
    case TSetOutcome::Unconfirmed:
      return "unconfirmed";
    case TSetOutcome::Several:
      break;
  }
  return "several";
}

const char* BurnOutcomeName(TBurnOutcome Outcome) {
  switch (Outcome) {
    case TBurnOutcome::NoAnswer:
      return "no answer";
    case TBurnOutcome::Set:
      return "set";
    case TBurnOutcome::Refused:
      return "refused";
    case TBurnOutcome::Damaged:
      return "damaged";
    case TBurnOutcome::Several:
      break;
  }
  return "several";
}

// The exit status of a failed instruction, from what its answer was.
int FailureExit(const TAnswer& Answer) {
  if (Answer.Status == TAnswerStatus::NoAnswer) return ecNoAnswer;
  if (Answer.Status == TAnswerStatus::Refused) return ecRefused;
  return ecUnclear;
}

// What a serial number looks like, for the messages that refuse one.
constexpr const char* kSerialForm =
    "a serial number as on the device label: four digits 0-9, a separator (/, \\ or -) and four digits "
    "(NNNN/NNNN)";

TSerialNumber SerialOption(const std::string& Option, const std::string& Text) {
  const std::optional<TSerialNumber> serial = SerialNumberOf(Text);
  if (!serial)
    throw EUsage(Option + " must be " + kSerialForm + ", not \"" + Text + "\"; nothing was written");
  return *serial;
}

TJsonLine Where(uint8_t Address, int32_t Speed) {
  TJsonLine where;
  AddAddress(where, Address);
  return where.Add("speed", static_cast<int64_t>(Speed));
}

// Asks the user on the terminal; false for anything but yes, and when no terminal can answer.
bool Confirmed(const std::string& Question) {
  if (isatty(fileno(stdin)) != 1) return false;
  std::fprintf(stderr, "%s [y/N] ", Question.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer) || Interrupted()) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

bool IsLeapYear(int Year) {
  return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
}

TCalendarDate DateOption(const TCliArguments& Arguments) {
  const auto text = Arguments.Value("--date");
  if (!text) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  }
  TCalendarDate date;
  char end = 0;
  const bool parsed = text->size() == 10 && std::sscanf(text->c_str(), "%4d-%2d-%2d%c", &date.Year,
                                                        &date.Month, &date.Day, &end) == 3;
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool valid = parsed && date.Year >= 1000 && date.Month >= 1 && date.Month <= 12 && date.Day >= 1 &&
                     date.Day <= kDays[date.Month - 1] &&
                     !(date.Month == 2 && date.Day == 29 && !IsLeapYear(date.Year));
  if (!valid) throw EUsage("--date must be a real date as YYYY-MM-DD, not \"" + *text + "\"");
  return date;
}

std::string DateText(const TCalendarDate& Date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", Date.Year, Date.Month, Date.Day);
  return text;
}

// The serial numbers of a CSV file: the first field of each line. Blank lines and lines starting with '#'
// are passed over, and so is a first line that is a heading; any other line that holds no whole serial
// number stops the command before anything is written.
std::vector<TSerialNumber> SerialsFromFile(const std::string& Path) {
  std::ifstream file(Path);
  if (!file) throw EUsage("--serials: cannot read \"" + Path + "\"");
  std::vector<TSerialNumber> serials;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string field = line.substr(0, line.find_first_of(",;\t"));
    field.erase(0, field.find_first_not_of(" \""));
    field.erase(field.find_last_not_of(" \"") + 1);
    if (field.empty() || field[0] == '#') continue;
    const std::optional<TSerialNumber> serial = SerialNumberOf(field);
    const bool heading = number == 1 && field.find_first_of("0123456789") == std::string::npos;
    if (heading) continue;
    if (!serial)
      throw EUsage(Path + " line " + std::to_string(number) + ": \"" + field + "\" is not " + kSerialForm +
                   "; nothing was written");
    serials.push_back(*serial);
  }
  if (serials.empty()) throw EUsage("--serials: \"" + Path + "\" holds no serial number");
  return serials;
}

std::vector<TSerialNumber> SerialsToBurn(const TCliArguments& Arguments) {
  const int given = Arguments.Has("--serial") + Arguments.Has("--serials") + Arguments.Has("--next");
  if (given != 1) throw EUsage("tarnel burn-serial needs exactly one of --serial, --serials and --next");
  if (Arguments.Has("--count") && !Arguments.Has("--next")) throw EUsage("--count goes with --next");
  if (const auto serial = Arguments.Value("--serial")) return {SerialOption("--serial", *serial)};
  if (const auto path = Arguments.Value("--serials")) return SerialsFromFile(*path);
  const int count = Arguments.Has("--count") ? ParseCount("--count", *Arguments.Value("--count")) : 1;
  std::vector<TSerialNumber> serials = {SerialOption("--next", *Arguments.Value("--next"))};
  while (static_cast<int>(serials.size()) < count) {
    const std::optional<TSerialNumber> next = NextSerialNumber(serials.back());
    if (!next) throw EUsage("--count runs past 9999/9999");
    serials.push_back(*next);
  }
  return serials;
}

// The record the command keeps; one that cannot be written is a bad --log (or TARNEL_LOG), found before
// anything is sent.
TProvisioningLog RecordFor(const TCliArguments& Arguments) {
  TProvisioningLog log = TProvisioningLog::FromOption(Arguments.Value("--log").value_or(""));
  try {
    log.CheckWritable();
  } catch (const Exception& e) {
    throw EUsage(e.what());
  }
  return log;
}

// --- Waiting for the next device of a run ---
//
// The protocol cannot read a serial number back, and the devices of a run are often alike (one model, one
// factory address, one INFO text), so the line is watched with the universal identification: the device
// just written has left once that question goes unanswered kSilentQuestionsToLeave times in a row, and
// the next device has arrived when one device answers clearly after that. A clear answer that differs
// (address or INFO text) from what the written device answered counts at once, without the silence.

constexpr int kSilentQuestionsToLeave = 2;
// Between two questions; each silent question itself waits AnswerTimeoutMs for an answer.
constexpr std::chrono::milliseconds kPollPause{200};
// How often a pause looks at Ctrl+C.
constexpr std::chrono::milliseconds kInterruptSlice{50};

enum class TWaitEnd { Arrived, TimedOut, Interrupted };

struct TWaitResult {
  TWaitEnd End = TWaitEnd::TimedOut;
  bool Left = false;  // the written device stopped answering
  TFinding Next;      // the device that arrived
};

bool SameDevice(const TFinding& A, const TFinding& B) {
  return A.Address == B.Address && A.Info == B.Info;
}

// Whether a clear answer comes from another device than the written one, which answered Before before its
// write and AfterWrite (when it answered clearly) to the first question after it: a device whose INFO text
// shows its serial number answers differently after the write. Unknown answers tell nothing.
bool AnotherDevice(const TFinding& Heard, const TFinding& Before, const std::optional<TFinding>& AfterWrite) {
  bool known = false;
  for (const TFinding* written : {&Before, AfterWrite ? &*AfterWrite : nullptr}) {
    if (!written || written->Status != TFindStatus::Found) continue;
    if (SameDevice(Heard, *written)) return false;
    known = true;
  }
  return known;
}

// Sleeps for Duration, or less when Ctrl+C comes.
void PauseUnlessInterrupted(std::chrono::milliseconds Duration) {
  const auto until = std::chrono::steady_clock::now() + Duration;
  while (!Interrupted()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kInterruptSlice, until - now));
  }
}

// Watches the line after a write until another device is there, Timeout runs out or Ctrl+C comes. Before
// is what the written device answered before its write; OnLeft hears the moment it is gone.
TWaitResult WaitForNextDevice(TDeviceLine& Line, const TFinding& Before, std::chrono::seconds Timeout,
                              const std::function<void()>& OnLeft) {
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  TWaitResult result;
  std::optional<TFinding> afterWrite;
  int silentInARow = 0;
  for (bool first = true;; first = false) {
    if (Interrupted()) {
      result.End = TWaitEnd::Interrupted;
      return result;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      result.End = TWaitEnd::TimedOut;
      return result;
    }
    const TFinding heard = FindDevice(Line);
    if (heard.Status == TFindStatus::Silent) {
      if (++silentInARow >= kSilentQuestionsToLeave && !result.Left) {
        result.Left = true;
        OnLeft();
      }
    } else {
      silentInARow = 0;
    }
    // Several devices or noise never count: the next write would reach every one of them.
    if (heard.Status == TFindStatus::Found) {
      if (first) afterWrite = heard;
      if (result.Left || (!first && AnotherDevice(heard, Before, afterWrite))) {
        result.End = TWaitEnd::Arrived;
        result.Next = heard;
        return result;
      }
    }
    PauseUnlessInterrupted(kPollPause);
  }
}

// "0100/0002 was not written", "0100/0002 to 0100/0005 (4 numbers) were not written".
std::string NotWrittenText(const std::vector<TSerialNumber>& Serials, size_t First) {
  const std::string first = SerialNumberText(Serials[First]);
  if (First + 1 == Serials.size()) return first + " was not written";
  return first + " to " + SerialNumberText(Serials.back()) + " (" + std::to_string(Serials.size() - First) +
         " numbers) were not written";
}

// Progress of the wait: lines on standard error in text mode, JSON objects with --json.
void TellWaiting(TOutput& Output, const std::string& Next, int TimeoutSeconds) {
  if (Output.Json()) {
    Output.Object(TJsonLine()
                      .Add("command", "burn-serial")
                      .Add("status", "waiting")
                      .Add("next", Next)
                      .Add("wait_timeout_s", TimeoutSeconds));
    return;
  }
  std::fprintf(stderr,
               "%s: waiting for the next device… (take the written one off the line; Ctrl+C stops; at most "
               "%d s)\n",
               Next.c_str(), TimeoutSeconds);
  std::fflush(stderr);
}

void TellLeft(TOutput& Output) {
  if (Output.Json()) {
    Output.Object(TJsonLine().Add("command", "burn-serial").Add("status", "left"));
    return;
  }
  std::fprintf(stderr, "The written device has left the line; waiting for the next device…\n");
  std::fflush(stderr);
}

void TellArrived(TOutput& Output, const TFinding& Next) {
  if (Output.Json()) {
    TJsonLine object;
    object.Add("command", "burn-serial").Add("status", "arrived");
    AddAddress(object, Next.Address);
    Output.Object(object.Add("info", Next.Info));
    return;
  }
  std::fprintf(stderr, "Next device: address %s, INFO: %s\n", AddressText(Next.Address).c_str(),
               Latin1ToUtf8(Next.Info).c_str());
  std::fflush(stderr);
}

}  // namespace

int RunSetAddress(const TCliArguments& Arguments, TOutput& Output) {
  const bool bySerial = Arguments.Has("--serial");
  if (bySerial == Arguments.Has("--address"))
    throw EUsage("tarnel set-address needs either --address A or --serial NNNN/NNNN");
  if (bySerial && Arguments.Has("--new-speed"))
    throw EUsage("--new-speed goes with --address: a device found by its serial number keeps its speed");
  const auto newAddressText = Arguments.Value("--new-address");
  if (!newAddressText) throw EUsage("tarnel set-address needs --new-address B");
  const uint8_t newAddress = ParseAddress("--new-address", *newAddressText, MaxDeviceAddress);
  const int32_t speed = SpeedOption(Arguments);
  const int32_t newSpeed =
      Arguments.Has("--new-speed") ? ParseDeviceSpeed("--new-speed", *Arguments.Value("--new-speed")) : speed;
  const TSerialNumber serial =
      bySerial ? SerialOption("--serial", *Arguments.Value("--serial")) : TSerialNumber{};
  const uint8_t oldAddress =
      bySerial ? 0 : ParseAddress("--address", *Arguments.Value("--address"), UniversalAddress);
  const TProvisioningLog log = RecordFor(Arguments);

  TCliLine port(PortOption(Arguments), speed);
  TDeviceLine& line = port.Line();
  const bool force = Arguments.Has("--force");
  const auto goOn = [&](const TFinding& Occupant) {
    const std::string where =
        "address " + AddressText(Occupant.Address) + " at " + std::to_string(Occupant.Speed) + " bit/s";
    TFinding shown = Occupant;
    shown.Info = Latin1ToUtf8(Occupant.Info);
    const std::string note = OccupiedPlaceText(shown, where) +
                             (force ? " Going on (--force)." : " Nothing was sent; give --force to go on.");
    std::fprintf(stderr, "tarnel: %s\n", note.c_str());
    return force;
  };
  const TSetResult result =
      bySerial ? SetAddressBySerial(line, newAddress, serial, goOn)
               : SetAddressAndSpeed(line, oldAddress, newAddress, SpeedCodeOf(newSpeed), goOn);
  const bool sent = result.Outcome != TSetOutcome::NoPermission && result.Outcome != TSetOutcome::Declined;
  std::optional<TVerifyOutcome> verified;
  if (result.Outcome == TSetOutcome::Done && !Arguments.Has("--no-verify"))
    verified = VerifyMove(line, result, newAddress, newSpeed, bySerial ? UniversalAddress : oldAddress,
                          bySerial ? 0 : speed);

  TJsonLine object;
  object.Add("command", "set-address").Add("outcome", SetOutcomeName(result.Outcome));
  if (verified) object.Add("verification", VerifyOutcomeName(*verified));
  object.Add("before",
             bySerial ? TJsonLine().Add("serial", SerialNumberText(serial)) : Where(oldAddress, speed));
  object.Add("after", Where(newAddress, newSpeed));
  Output.Object(object);
  if (result.Outcome != TSetOutcome::Declined) Output.Text(SetOutcomeText(result.Outcome, bySerial));
  if (verified)
    Output.Text(std::string(VerifyOutcomeName(*verified)) + ": asked at address " + AddressText(newAddress) +
                " at " + std::to_string(newSpeed) + " bit/s.");

  if (sent) {
    TJsonLine record = TProvisioningLog::NewRecord("set-address");
    record.Add("port", port.PortName())
        .Add("device_path", port.DevicePath())
        .Add("speed", static_cast<int64_t>(speed));
    record.Add("before",
               bySerial ? TJsonLine().Add("serial", SerialNumberText(serial)) : Where(oldAddress, speed));
    record.Add("written", Where(newAddress, newSpeed)).Add("answer", HexOf(result.AnswerBytes));
    record.Add("outcome", SetOutcomeName(result.Outcome));
    if (verified) record.Add("verification", VerifyOutcomeName(*verified));
    if (verified == TVerifyOutcome::Verified) record.Add("after", Where(newAddress, newSpeed));
    if (verified == TVerifyOutcome::NotDone && !bySerial) record.Add("after", Where(oldAddress, speed));
    log.Append(record);
  }

  if (result.Outcome == TSetOutcome::NoPermission) return FailureExit(result.Permission);
  if (result.Outcome == TSetOutcome::Declined) return ecRefused;
  if (result.Outcome == TSetOutcome::Several || result.Outcome == TSetOutcome::Unconfirmed) return ecUnclear;
  if (result.Outcome == TSetOutcome::NotSet) return FailureExit(result.Answer);
  if (verified == TVerifyOutcome::NotDone) return ecRefused;
  if (verified == TVerifyOutcome::Unknown) return ecUnclear;
  return ecDone;
}

int RunBurnSerial(const TCliArguments& Arguments, TOutput& Output) {
  const std::vector<TSerialNumber> serials = SerialsToBurn(Arguments);
  const TCalendarDate date = DateOption(Arguments);
  const bool confirmedByOption = Arguments.Has("--yes");
  if (!confirmedByOption && isatty(fileno(stdin)) != 1)
    throw EUsage("writing a serial number needs a confirmation: give --yes when no terminal can answer");
  const TProvisioningLog log = RecordFor(Arguments);
  const int waitSeconds = Arguments.Has("--wait-timeout")
                              ? ParseSeconds("--wait-timeout", *Arguments.Value("--wait-timeout"))
                              : DefaultDeviceWaitSeconds;
  const int32_t speed = SpeedOption(Arguments);
  TCliLine port(PortOption(Arguments), speed);
  TDeviceLine& line = port.Line();

  // A run that stops before serials[Index]: what was left unwritten, and why.
  const auto stop = [&](size_t Index, const std::string& Reason, const std::string& Text, int Code) {
    Output.Object(TJsonLine()
                      .Add("command", "burn-serial")
                      .Add("serial", SerialNumberText(serials[Index]))
                      .Add("outcome", "not written")
                      .Add("reason", Reason));
    Output.Text(Text + ": " + NotWrittenText(serials, Index) + ".");
    return Code;
  };
  TFinding written;  // what the device written last answered before its write
  for (size_t i = 0; i < serials.size(); ++i) {
    if (Interrupted()) return stop(i, "interrupted", "Interrupted", ecInterrupted);
    const std::string serialText = SerialNumberText(serials[i]);
    if (i > 0) {
      TellWaiting(Output, serialText, waitSeconds);
      const TWaitResult wait =
          WaitForNextDevice(line, written, std::chrono::seconds(waitSeconds), [&] { TellLeft(Output); });
      if (wait.End == TWaitEnd::Interrupted)
        return stop(i, "interrupted", "Interrupted while waiting for the next device", ecInterrupted);
      if (wait.End == TWaitEnd::TimedOut)
        return stop(i, wait.Left ? "no next device" : "device never left",
                    "Stopped after waiting " + std::to_string(waitSeconds) + " s for the next device (" +
                        (wait.Left ? "no device answered after the written one left the line"
                                   : "the written device never left the line") +
                        ")",
                    ecNoAnswer);
      TellArrived(Output, wait.Next);
    }
    const std::string question = "Write the serial number " + serialText + " with the date " +
                                 DateText(date) + (i > 0 ? " into the next device?" : " into the device?") +
                                 " Every device on the line receives it and takes it.";
    if (!confirmedByOption && !Confirmed(question))
      return Interrupted() ? stop(i, "interrupted", "Interrupted", ecInterrupted)
                           : stop(i, "not confirmed", "Stopped", ecDone);
    const TFinding before = FindDevice(line);
    const TBurnResult result = BurnSerialNumber(line, serials[i], date);
    written = before;

    TJsonLine device;
    if (before.Status == TFindStatus::Found) {
      AddAddress(device, before.Address);
      device.Add("info", before.Info);
    } else {
      device.Add("status", before.Status == TFindStatus::Silent ? "no answer" : "unclear");
    }
    TJsonLine record = TProvisioningLog::NewRecord("burn-serial");
    record.Add("port", port.PortName())
        .Add("device_path", port.DevicePath())
        .Add("speed", static_cast<int64_t>(speed));
    record.Add("before", device)
        .Add("written", TJsonLine().Add("serial", serialText).Add("date", DateText(date)))
        .Add("answer", HexOf(line.LastReceived()))
        .Add("outcome", BurnOutcomeName(result.Outcome));
    if (result.Outcome == TBurnOutcome::Set)
      record.Add("after", TJsonLine().Add("serial", serialText).Add("date", DateText(date)));
    log.Append(record);

    Output.Object(TJsonLine()
                      .Add("command", "burn-serial")
                      .Add("serial", serialText)
                      .Add("date", DateText(date))
                      .Add("outcome", BurnOutcomeName(result.Outcome)));
    Output.Text(serialText + ": " + BurnLogLine(result, serialText));
    if (result.Outcome == TBurnOutcome::NoAnswer) return ecNoAnswer;
    if (result.Outcome == TBurnOutcome::Refused) return ecRefused;
    if (result.Outcome != TBurnOutcome::Set) return ecUnclear;
  }
  return ecDone;
}

}  // namespace tarnel::cli
