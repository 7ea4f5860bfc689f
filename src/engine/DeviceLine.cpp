#include "engine/DeviceLine.h"

#include "protocol/Exchange.h"
#include "protocol/Packet97.h"

namespace tarnel {

TAnswer TDeviceLine::Ask(const ByteString& Request, bool ExamineCode) {
  return AskWithin(Request, AnswerTimeoutMs, ExamineCode);
}

TAnswer TDeviceLine::AskWithin(const ByteString& Request, int32_t TimeoutMs, bool ExamineCode) {
  FLastReceived = Exchange(Request, TimeoutMs, TListen::FirstAnswer);
  return CheckAnswer(FLastReceived, Request, ExamineCode);
}

TAnswer TDeviceLine::AskEveryDevice(const ByteString& Request) {
  FLastReceived = Exchange(Request, AnswerTimeoutMs, TListen::EveryAnswer);
  return CheckAnswer(FLastReceived, Request);
}

void TDeviceLine::SetSpeed(int32_t BitsPerSecond) {
  if (BitsPerSecond != FPort.Speed()) FPort.SetSpeed(BitsPerSecond);
}

ByteString TDeviceLine::Exchange(const ByteString& Request, int32_t TimeoutMs, TListen Listen) {
  if (Listen == TListen::EveryAnswer)
    return ExchangeListening(&FPort, Request, TimeoutMs, StandardExchangeOptions);
  return ExchangePacket(&FPort, Request, TimeoutMs, CheckPacket97, StandardExchangeOptions);
}

}  // namespace tarnel
