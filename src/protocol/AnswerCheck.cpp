#include "protocol/AnswerCheck.h"

namespace tarnel {

TAnswer CheckAnswer(const ByteString& Result, bool ExamineCode) {
  TAnswer answer;
  if (Result.empty()) return answer;
  ByteString buffer = Result;
  const ByteString packet = ExtractPacket97(buffer, false);
  if (packet.empty()) {
    answer.Status = TAnswerStatus::NoPacket;
    return answer;
  }
  if (CheckPacket97(packet) != 0) {
    answer.Status = TAnswerStatus::Invalid;
    return answer;
  }
  answer.Packet = ParsePacket97(packet);
  answer.Status = ExamineCode && answer.Packet.Code != 0 ? TAnswerStatus::Refused : TAnswerStatus::Ok;
  return answer;
}

}  // namespace tarnel
