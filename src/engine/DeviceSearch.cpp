#include "engine/DeviceSearch.h"

#include "protocol/Instructions.h"

namespace tarnel {
namespace {

TFinding FindingOf(const TAnswer& Answer, uint8_t Asked, int32_t Speed) {
  TFinding finding;
  finding.Speed = Speed;
  finding.Address = Asked;
  switch (Answer.Status) {
    case TAnswerStatus::NoAnswer:
      return finding;
    case TAnswerStatus::NoPacket:
    case TAnswerStatus::Invalid:
      finding.Status = TFindStatus::Damaged;
      return finding;
    case TAnswerStatus::Refused:
    case TAnswerStatus::Ok:
      break;
  }
  finding.Address = Answer.Packet.Address;
  finding.Info.assign(Answer.Packet.Data.begin(), Answer.Packet.Data.end());
  finding.Code = Answer.Packet.Code;
  if (Answer.MoreFollows)
    finding.Status = TFindStatus::Several;
  else
    finding.Status = Answer.Status == TAnswerStatus::Ok ? TFindStatus::Found : TFindStatus::Refused;
  return finding;
}

}  // namespace

TFinding FindDevice(TDeviceLine& Line) {
  return FindingOf(Line.Ask(BuildFindDeviceRequest()), UniversalAddress, Line.Speed());
}

TFinding FindAtSpeeds(TDeviceLine& Line, const std::vector<int32_t>& Speeds, const std::atomic<bool>& Cancel,
                      const std::function<void(int32_t Speed)>& Progress) {
  return AtSpeed(Line, Line.Speed(), [&] {
    for (const int32_t speed : Speeds) {
      if (Cancel) break;
      if (Progress) Progress(speed);
      Line.SetSpeed(speed);
      const TFinding finding = FindDevice(Line);
      if (HeardSomething(finding)) return finding;
    }
    TFinding silent;
    silent.Address = UniversalAddress;
    return silent;
  });
}

TFinding AskAddress(TDeviceLine& Line, uint8_t Address, int32_t TimeoutMs) {
  return FindingOf(Line.AskWithin(BuildInfoRequest(Address), TimeoutMs), Address, Line.Speed());
}

TScanReport ScanLine(TDeviceLine& Line, const TScanPlan& Plan, const std::atomic<bool>& Cancel,
                     const std::function<void(const TFinding&)>& Found,
                     const std::function<void(const TScanProgress&)>& Progress) {
  TScanReport report;
  const size_t total = Plan.Addresses.size() * Plan.Speeds.size();
  return AtSpeed(Line, Line.Speed(), [&] {
    for (const int32_t speed : Plan.Speeds) {
      Line.SetSpeed(speed);
      for (const uint8_t address : Plan.Addresses) {
        // Progress may be where the user's Stop is taken in (the window processes its events there).
        if (Progress && !Cancel) Progress({report.Asked, total, speed, address});
        if (Cancel) {
          report.Cancelled = true;
          return report;
        }
        const TFinding finding = AskAddress(Line, address, Plan.TimeoutMs);
        ++report.Asked;
        if (!HeardSomething(finding)) continue;
        report.Findings.push_back(finding);
        if (Found) Found(finding);
      }
    }
    return report;
  });
}

}  // namespace tarnel
