#include "protocol/AnswerCheck.h"

#include <optional>
#include <string_view>

#include "protocol/Instructions.h"

namespace tarnel {

namespace {

std::optional<TTarnelFormat97> Split(const ByteString& Packet) {
  try {
    return ParsePacket97(Packet);
  } catch (const Exception&) {
    return std::nullopt;
  }
}

// Whether Rest is the request itself, or so far only its beginning.
bool IsEcho(std::string_view Rest, std::string_view Request, bool& Partial) {
  Partial = Rest.size() < Request.size() && Request.substr(0, Rest.size()) == Rest;
  return Partial || Rest.substr(0, Request.size()) == Request;
}

// The complete valid packet at the start of Rest when it answers something other than Request.
size_t ForeignPacketSize(const ByteString& Rest, const TTarnelFormat97& Request) {
  ByteString buffer = Rest;
  const ByteString packet = ExtractPacket97(buffer, false);
  if (packet.empty() || CheckPacket97(packet) != 0) return 0;
  // A packet too short to carry a code is left to the check, which reports it as it always has.
  const std::optional<TTarnelFormat97> split = Split(packet);
  if (!split || IsAnswerTo(*split, Request)) return 0;
  return packet.size();
}

}  // namespace

TAnswer CheckAnswer(const ByteString& Result, bool ExamineCode) {
  TAnswer answer;
  if (Result.empty()) return answer;
  ByteString buffer = Result;
  const ByteString packet = ExtractPacket97(buffer, false);
  if (packet.empty()) {
    answer.Status = TAnswerStatus::NoPacket;
    return answer;
  }
  answer.MoreFollows = Result.size() > packet.size();
  if (CheckPacket97(packet) != 0) {
    answer.Status = TAnswerStatus::Invalid;
    return answer;
  }
  answer.Packet = ParsePacket97(packet);
  answer.Status = ExamineCode && answer.Packet.Code != rcOk ? TAnswerStatus::Refused : TAnswerStatus::Ok;
  return answer;
}

TAnswer CheckAnswer(const ByteString& Result, const ByteString& Request, bool ExamineCode) {
  return CheckAnswer(AnswerPart(Result, Request), ExamineCode);
}

bool IsAnswerTo(const TTarnelFormat97& Answer, const TTarnelFormat97& Request) {
  if (Answer.Tag != Request.Tag) return false;
  return Request.Address == UniversalAddress || Answer.Address == Request.Address;
}

ByteString AnswerPart(const ByteString& Received, const ByteString& Request) {
  if (Request.empty()) return Received;
  const std::optional<TTarnelFormat97> request = CheckPacket97(Request) == 0 ? Split(Request) : std::nullopt;
  size_t start = 0;
  while (start < Received.size()) {
    const std::string_view rest = std::string_view(Received).substr(start);
    bool partial = false;
    if (IsEcho(rest, Request, partial)) {
      if (partial) return {};
      start += Request.size();
      continue;
    }
    const size_t foreign = request ? ForeignPacketSize(Received.substr(start), *request) : 0;
    if (foreign == 0) break;
    start += foreign;
  }
  return Received.substr(start);
}

}  // namespace tarnel
