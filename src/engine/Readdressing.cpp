#include "engine/Readdressing.h"

#include "protocol/Packet97.h"

namespace tarnel {
namespace {

TFinding AskAt(TDeviceLine& Line, uint8_t Address, int32_t Speed) {
  return AtSpeed(Line, Speed, [&] { return AskAddress(Line, Address, AnswerTimeoutMs); });
}

// Looks at the new place before anything is sent; false when a device answers there and the user does not go
// on. Moving the device to its own place needs no look.
bool NewPlaceAccepted(TDeviceLine& Line, TSetResult& Result, uint8_t NewAddress, int32_t NewSpeed,
                      const TGoOnOverOccupant& GoOn) {
  Result.Occupant = AskAt(Line, NewAddress, NewSpeed);
  if (!HeardSomething(Result.Occupant)) return true;
  if (GoOn && GoOn(Result.Occupant)) return true;
  Result.Outcome = TSetOutcome::Declined;
  return false;
}

// The outcome after one look at the new place, when the change itself was not confirmed by its answer.
TSetOutcome OutcomeAtNewPlace(const TSetResult& Result, const TFinding& There) {
  if (!HeardSomething(There)) return TSetOutcome::NotSet;
  if (IsTheMovedDevice(Result, There)) return TSetOutcome::Done;
  return TSetOutcome::Unconfirmed;
}

}  // namespace

TSetResult SetAddressAndSpeed(TDeviceLine& Line, uint8_t OldAddress, uint8_t NewAddress, uint8_t SpeedCode,
                              const TGoOnOverOccupant& GoOn) {
  TSetResult result;
  const int32_t newSpeed = SpeedFromCode(SpeedCode);
  const bool ownPlace = NewAddress == OldAddress && newSpeed == Line.Speed();
  if (newSpeed != 0 && !ownPlace) {
    if (!NewPlaceAccepted(Line, result, NewAddress, newSpeed, GoOn)) return result;
    // Only the device's own INFO text can tell it from the one already there, once both may answer.
    if (HeardSomething(result.Occupant)) result.Moving = AskAddress(Line, OldAddress, AnswerTimeoutMs);
  }
  result.Permission = Line.Ask(BuildWritePermissionRequest(OldAddress));
  if (result.Permission.Status != TAnswerStatus::Ok) {
    result.Outcome = TSetOutcome::NoPermission;
    return result;
  }
  result.Answer = Line.Ask(BuildSetAddressSpeedRequest(OldAddress, NewAddress, SpeedCode));
  result.AnswerBytes = Line.LastReceived();
  if (result.Answer.Status == TAnswerStatus::Ok) {
    result.Outcome = TSetOutcome::Done;
  } else if ((result.Answer.Status == TAnswerStatus::NoAnswer || IsDamaged(result.Answer)) && newSpeed != 0) {
    result.Outcome = OutcomeAtNewPlace(result, AskAt(Line, NewAddress, newSpeed));
  }
  return result;
}

TSetResult SetAddressBySerial(TDeviceLine& Line, uint8_t NewAddress, TSerialNumber Serial,
                              const TGoOnOverOccupant& GoOn) {
  TSetResult result;
  if (!NewPlaceAccepted(Line, result, NewAddress, Line.Speed(), GoOn)) return result;
  result.Answer = Line.AskEveryDevice(BuildSetAddressBySerialRequest(NewAddress, Serial));
  result.AnswerBytes = Line.LastReceived();
  const TAnswer& answer = result.Answer;
  if (answer.MoreFollows) {
    result.Outcome = TSetOutcome::Several;
    return result;
  }
  if (answer.Status == TAnswerStatus::Ok) {
    result.Outcome = TSetOutcome::Done;
    return result;
  }
  // A refusal changed nothing; after silence or a damaged answer the device may have moved all the same.
  if (answer.Status == TAnswerStatus::Refused) return result;
  const TFinding there = AskAddress(Line, NewAddress, AnswerTimeoutMs);
  const bool collided =
      there.Status == TFindStatus::Several || (IsDamaged(answer) && there.Status == TFindStatus::Damaged);
  if (collided && !HeardSomething(result.Occupant))
    result.Outcome = TSetOutcome::Several;
  else
    result.Outcome = OutcomeAtNewPlace(result, there);
  return result;
}

bool IsTheMovedDevice(const TSetResult& Change, const TFinding& There) {
  if (There.Status != TFindStatus::Found) return false;
  if (!HeardSomething(Change.Occupant)) return true;
  const TFinding& moving = Change.Moving;
  return moving.Status == TFindStatus::Found && Change.Occupant.Status == TFindStatus::Found &&
         moving.Info != Change.Occupant.Info && There.Info == moving.Info;
}

const char* SetOutcomeText(TSetOutcome Outcome, bool BySerial) {
  switch (Outcome) {
    case TSetOutcome::Done:
      return BySerial ? kAddressSetText : kAddressSpeedSetText;
    case TSetOutcome::NoPermission:
      return kPermissionDeniedText;
    case TSetOutcome::Several:
      return kSeveralBySerialText;
    case TSetOutcome::Declined:
      return "";
    case TSetOutcome::Unconfirmed:
      return kUnconfirmedText;
    case TSetOutcome::NotSet:
      break;
  }
  return BySerial ? kAddressNotSetText : kParametersNotSetText;
}

std::string OccupiedPlaceText(const TFinding& Occupant, const std::string& Where) {
  switch (Occupant.Status) {
    case TFindStatus::Found:
    case TFindStatus::Refused:
      return "A device already answers at " + Where + ": \"" + Occupant.Info + "\".";
    case TFindStatus::Several:
    case TFindStatus::Damaged:
      return "Something already answers at " + Where +
             ", but its answer could not be read (several devices there?).";
    case TFindStatus::Silent:
      break;
  }
  return {};
}

TVerifyOutcome VerifyMove(TDeviceLine& Line, const TSetResult& Change, uint8_t NewAddress, int32_t NewSpeed,
                          uint8_t OldAddress, int32_t OldSpeed) {
  const TFinding atNew = AskAt(Line, NewAddress, NewSpeed);
  if (IsTheMovedDevice(Change, atNew)) return TVerifyOutcome::Verified;
  if (HeardSomething(atNew) || OldSpeed == 0 || OldAddress > MaxDeviceAddress) return TVerifyOutcome::Unknown;
  const bool stayed = AskAt(Line, OldAddress, OldSpeed).Status == TFindStatus::Found;
  return stayed ? TVerifyOutcome::NotDone : TVerifyOutcome::Unknown;
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
