#pragma once

#include "protocol/ByteString.h"
#include "protocol/Packet97.h"

namespace tarnel {

enum class TAnswerStatus {
  NoAnswer /* result empty */,
  NoPacket /* no complete packet at the first byte */,
  Invalid /* CheckPacket97 != 0 */,
  Refused /* Code != 0 */,
  Ok
};

// Packet holds the split answer for Refused and Ok, and is default otherwise.
struct TAnswer {
  TAnswerStatus Status = TAnswerStatus::NoAnswer;
  TTarnelFormat97 Packet;
};

// The check every workflow applies to what an exchange returned: the packet at the very start of Result
// (nothing removed), validated, split, and its Code tested unless ExamineCode is false. A packet that
// validates but cannot be split raises ParsePacket97's tarnel::Exception, which is left to the caller.
TAnswer CheckAnswer(const ByteString& Result, bool ExamineCode = true);

}  // namespace tarnel
