#pragma once

#include "common/ByteString.h"
#include "protocol/Packet97.h"

namespace tarnel {

enum class TAnswerStatus {
  NoAnswer /* result empty, or nothing but the request's echo and packets that answer something else */,
  NoPacket /* no complete packet at the first byte */,
  Invalid /* CheckPacket97 != 0 */,
  Refused /* Code != 0 */,
  Ok
};

// Packet holds the split answer for Refused and Ok, and is default otherwise.
struct TAnswer {
  TAnswerStatus Status = TAnswerStatus::NoAnswer;
  TTarnelFormat97 Packet;
  // Bytes came after the answer packet: a second device answering too, or noise. Set with every status that
  // found a complete packet (Invalid, Refused, Ok).
  bool MoreFollows = false;
};

// The check every workflow applies to what an exchange returned: the packet at the very start of Result
// (nothing removed), validated, split, and its Code tested unless ExamineCode is false. A packet that
// validates but cannot be split raises ParsePacket97's tarnel::Exception, which is left to the caller.
TAnswer CheckAnswer(const ByteString& Result, bool ExamineCode = true);

// The same check on AnswerPart(Result, Request): an echo of the request and answers to something else are
// passed over; when nothing else came the status is NoAnswer.
TAnswer CheckAnswer(const ByteString& Result, const ByteString& Request, bool ExamineCode = true);

// Whether a packet answers Request: the same Tag, and for a request to one address the same Address (a
// request to the universal address is answered by whichever device hears it).
bool IsAnswerTo(const TTarnelFormat97& Answer, const TTarnelFormat97& Request);

// Received from its first byte that may be the answer to Request. Passed over, from the front: copies of
// the request's own bytes (a converter's echo), and complete valid packets that do not answer it (a late
// answer to an earlier request, another master's traffic). Empty while nothing else has come, including
// while the bytes are only the beginning of an echo. Noise and damaged packets are not passed over: they
// may be the answer, and the check reports them. With an empty or unsplittable Request nothing but the
// echo is passed over.
ByteString AnswerPart(const ByteString& Received, const ByteString& Request);

}  // namespace tarnel
