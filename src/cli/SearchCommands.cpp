#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "engine/DeviceSearch.h"
#include "engine/ValueLog.h"

namespace tarnel::cli {
namespace {

const char* StatusName(TFindStatus Status) {
  switch (Status) {
    case TFindStatus::Silent:
      return "no answer";
    case TFindStatus::Found:
      return "found";
    case TFindStatus::Refused:
      return "refused";
    case TFindStatus::Damaged:
      return "damaged";
    case TFindStatus::Several:
      break;
  }
  return "several";
}

int ExitOf(TFindStatus Status) {
  switch (Status) {
    case TFindStatus::Silent:
      return ecNoAnswer;
    case TFindStatus::Found:
      return ecDone;
    case TFindStatus::Refused:
      return ecRefused;
    case TFindStatus::Damaged:
    case TFindStatus::Several:
      break;
  }
  return ecUnclear;
}

std::string SpeedText(int32_t Speed) {
  return std::to_string(Speed) + " bit/s";
}

TJsonLine FindingObject(const std::string& Command, const TFinding& Finding) {
  TJsonLine object;
  object.Add("command", Command).Add("status", StatusName(Finding.Status));
  // A silent line, or a damaged answer to the universal request, names no address.
  const bool unknownAddress = Finding.Status == TFindStatus::Silent ||
                              (Finding.Status == TFindStatus::Damaged && Finding.Address == UniversalAddress);
  if (!unknownAddress) AddAddress(object, Finding.Address);
  if (Finding.Speed != 0) object.Add("speed", static_cast<int64_t>(Finding.Speed));
  if (Finding.Status == TFindStatus::Refused) object.Add("code", static_cast<int>(Finding.Code));
  if (!Finding.Info.empty()) object.Add("info", Finding.Info);
  return object;
}

std::string FindText(const TFinding& Finding) {
  const std::string at = AddressText(Finding.Address);
  const std::string info = Latin1ToUtf8(Finding.Info);
  switch (Finding.Status) {
    case TFindStatus::Silent:
      return kNoModuleFoundText;
    case TFindStatus::Found:
      return "Found address " + at + " at " + SpeedText(Finding.Speed) + ". INFO: " + info;
    case TFindStatus::Refused:
      return "The device at address " + at + " refused the request at " + SpeedText(Finding.Speed) +
             " (result code " + std::to_string(Finding.Code) + ").";
    case TFindStatus::Damaged:
      return "A damaged answer came at " + SpeedText(Finding.Speed) +
             ": perhaps several devices answered at once; ask them one by one (tarnel scan).";
    case TFindStatus::Several:
      break;
  }
  return "Address " + at + " answered at " + SpeedText(Finding.Speed) +
         ", and more came after it: several devices are on this line (tarnel scan lists them).";
}

// One scan line: address, speed, what answered.
std::string ScanText(const TFinding& Finding) {
  std::string line = AddressText(Finding.Address);
  line.resize(16, ' ');
  std::string speed = SpeedText(Finding.Speed);
  speed.resize(13, ' ');
  std::string status = StatusName(Finding.Status);
  status.resize(9, ' ');
  line += speed + status;
  if (Finding.Status == TFindStatus::Refused) line += "result code " + std::to_string(Finding.Code);
  if (Finding.Status == TFindStatus::Damaged) line += "a collision, noise, or two devices at this address";
  if (Finding.Status == TFindStatus::Several) line += "more than one device answered. ";
  return line + Latin1ToUtf8(Finding.Info);
}

// The progress line, on a terminal only: it is overwritten in place and wiped at the end.
class TProgressLine {
 public:
  TProgressLine() : FShown(isatty(fileno(stderr)) == 1) {}
  ~TProgressLine() { Clear(); }
  void Show(const std::string& Text) {
    if (!FShown) return;
    std::fprintf(stderr, "\r\033[K%s", Text.c_str());
    std::fflush(stderr);
  }
  void Clear() { Show(""); }

 private:
  bool FShown;
};

std::vector<int32_t> SpeedsToTry(const TCliArguments& Arguments) {
  if (Arguments.Has("--all-speeds")) {
    if (Arguments.Has("--speed")) throw EUsage("--speed and --all-speeds exclude each other");
    return {SearchSpeedOrder.begin(), SearchSpeedOrder.end()};
  }
  if (const auto list = Arguments.Value("--speed")) return ParseSpeedList("--speed", *list);
  return {SpeedOption(Arguments)};
}

}  // namespace

int RunFind(const TCliArguments& Arguments, TOutput& Output) {
  const std::vector<int32_t> speeds = SpeedsToTry(Arguments);
  TCliLine port(PortOption(Arguments), speeds.front());
  TProgressLine progress;
  const TFinding finding = FindAtSpeeds(port.Line(), speeds, Interrupted(), [&](int32_t Speed) {
    progress.Show("Asking at " + SpeedText(Speed) + " ...");
  });
  progress.Clear();
  if (Interrupted() && !HeardSomething(finding)) {
    std::fprintf(stderr, "tarnel: interrupted before any device answered\n");
    return ecInterrupted;
  }
  Output.Object(FindingObject("find", finding));
  std::string text = FindText(finding);
  if (finding.Status == TFindStatus::Silent && speeds.size() > 1) text += " (at none of the speeds tried)";
  Output.Text(text);
  return ExitOf(finding.Status);
}

int RunScan(const TCliArguments& Arguments, TOutput& Output) {
  TScanPlan plan;
  plan.Speeds = SpeedsToTry(Arguments);
  plan.TimeoutMs = DefaultScanTimeoutMs;
  if (const auto timeout = Arguments.Value("--timeout"))
    plan.TimeoutMs = ParseMilliseconds("--timeout", *timeout);
  if (const auto list = Arguments.Value("--addresses"))
    plan.Addresses = ParseAddressList("--addresses", *list);
  else
    for (int address = 0; address <= MaxDeviceAddress; ++address)
      plan.Addresses.push_back(static_cast<uint8_t>(address));

  TCliLine port(PortOption(Arguments), plan.Speeds.front());
  TProgressLine progress;
  const auto start = std::chrono::steady_clock::now();
  const TScanReport report = ScanLine(
      port.Line(), plan, Interrupted(),
      [&](const TFinding& Finding) {
        progress.Clear();
        Output.Object(FindingObject("scan", Finding));
        Output.Text(ScanText(Finding));
      },
      [&](const TScanProgress& Step) {
        progress.Show("Scanning " + SpeedText(Step.Speed) + ": address " + std::to_string(Step.Address) +
                      " (" + std::to_string(Step.Done + 1) + "/" + std::to_string(Step.Total) + ")");
      });
  progress.Clear();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  size_t devices = 0, unclear = 0;
  for (const TFinding& finding : report.Findings)
    (finding.Status == TFindStatus::Found || finding.Status == TFindStatus::Refused ? devices : unclear)++;
  Output.Object(TJsonLine()
                    .Add("command", "scan")
                    .Add("summary", true)
                    .Add("asked", static_cast<int64_t>(report.Asked))
                    .Add("planned", static_cast<int64_t>(plan.Addresses.size() * plan.Speeds.size()))
                    .Add("devices", static_cast<int64_t>(devices))
                    .Add("unclear", static_cast<int64_t>(unclear))
                    .Add("cancelled", report.Cancelled)
                    .Add("seconds", seconds));
  char summary[200];
  std::snprintf(summary, sizeof summary,
                "%s %zu of %zu questions in %.1f s: %zu device%s answered, %zu unclear answer%s.",
                report.Cancelled ? "Interrupted after" : "Scanned:", report.Asked,
                plan.Addresses.size() * plan.Speeds.size(), seconds, devices, devices == 1 ? "" : "s",
                unclear, unclear == 1 ? "" : "s");
  Output.Text(summary);
  if (report.Cancelled) return ecInterrupted;
  if (report.Findings.empty()) return ecNoAnswer;
  return unclear > 0 ? ecUnclear : ecDone;
}

}  // namespace tarnel::cli
