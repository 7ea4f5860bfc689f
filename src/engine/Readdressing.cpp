#include "engine/Readdressing.h"

#include "protocol/Packet97.h"

namespace tarnel {
namespace {

bool AnswersAt(TDeviceLine& Line, uint8_t Address, int32_t Speed) {
  return AtSpeed(Line, Speed,
                 [&] { return Line.Ask(BuildInfoRequest(Address)).Status == TAnswerStatus::Ok; });
}

}  // namespace

TSetResult SetAddressAndSpeed(TDeviceLine& Line, uint8_t OldAddress, uint8_t NewAddress, uint8_t SpeedCode) {
  TSetResult result;
  result.Permission = Line.Ask(BuildWritePermissionRequest(OldAddress));
  if (result.Permission.Status != TAnswerStatus::Ok) {
    result.Outcome = TSetOutcome::NoPermission;
    return result;
  }
  result.Answer = Line.Ask(BuildSetAddressSpeedRequest(OldAddress, NewAddress, SpeedCode));
  result.AnswerBytes = Line.LastReceived();
  bool done = result.Answer.Status == TAnswerStatus::Ok;
  const int32_t newSpeed = SpeedFromCode(SpeedCode);
  if ((result.Answer.Status == TAnswerStatus::NoAnswer || IsDamaged(result.Answer)) && newSpeed != 0)
    done = AnswersAt(Line, NewAddress, newSpeed);
  result.Outcome = done ? TSetOutcome::Done : TSetOutcome::NotSet;
  return result;
}

TSetResult SetAddressBySerial(TDeviceLine& Line, uint8_t NewAddress, TSerialNumber Serial) {
  TSetResult result;
  result.Answer = Line.Ask(BuildSetAddressBySerialRequest(NewAddress, Serial));
  result.AnswerBytes = Line.LastReceived();
  const TAnswer& answer = result.Answer;
  if (answer.Status == TAnswerStatus::Ok && !answer.MoreFollows) {
    result.Outcome = TSetOutcome::Done;
    return result;
  }
  // A device already sitting at the new address must not be taken for one that moved there.
  if (!answer.MoreFollows && !IsDamaged(answer)) return result;
  const TAnswer check = Line.Ask(BuildInfoRequest(NewAddress));
  if (answer.MoreFollows || check.MoreFollows || (IsDamaged(answer) && IsDamaged(check)))
    result.Outcome = TSetOutcome::Several;
  else if (check.Status == TAnswerStatus::Ok)
    result.Outcome = TSetOutcome::Done;
  return result;
}

const char* SetOutcomeText(TSetOutcome Outcome, bool BySerial) {
  switch (Outcome) {
    case TSetOutcome::Done:
      return BySerial ? kAddressSetText : kAddressSpeedSetText;
    case TSetOutcome::NoPermission:
      return kPermissionDeniedText;
    case TSetOutcome::Several:
      return kSeveralBySerialText;
    case TSetOutcome::NotSet:
      break;
  }
  return BySerial ? kAddressNotSetText : kParametersNotSetText;
}

TVerifyOutcome VerifyMove(TDeviceLine& Line, uint8_t NewAddress, int32_t NewSpeed, uint8_t OldAddress,
                          int32_t OldSpeed) {
  const TAnswer atNew = AtSpeed(Line, NewSpeed, [&] { return Line.Ask(BuildInfoRequest(NewAddress)); });
  if (atNew.Status == TAnswerStatus::Ok && !atNew.MoreFollows) return TVerifyOutcome::Verified;
  if (atNew.Status != TAnswerStatus::NoAnswer || OldSpeed == 0 || OldAddress > MaxDeviceAddress)
    return TVerifyOutcome::Unknown;
  return AnswersAt(Line, OldAddress, OldSpeed) ? TVerifyOutcome::NotDone : TVerifyOutcome::Unknown;
}

const char* VerifyOutcomeName(TVerifyOutcome Outcome) {
  switch (Outcome) {
    case TVerifyOutcome::Verified:
      return "verified";
    case TVerifyOutcome::NotDone:
      return "not done";
    case TVerifyOutcome::Unknown:
      break;
  }
  return "unknown";
}

}  // namespace tarnel
