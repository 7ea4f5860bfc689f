#pragma once

#include <cstdint>
#include <utility>

#include "common/ByteString.h"
#include "protocol/AnswerCheck.h"
#include "protocol/ExchangePort.h"

namespace tarnel {

// How long a device has to begin its answer, in the window and on the command line alike.
inline constexpr int32_t AnswerTimeoutMs = 500;

// How long an exchange listens: until the answer is there, or for the whole time-out, so that every device
// that carried out a change sent to the universal address is heard.
enum class TListen { FirstAnswer, EveryAnswer };

// One port as the workflows use it: a request out, the checked answer back, and the line's speed.
// Every call is made on the exchanging thread; the port's own errors pass through.
class TDeviceLine {
 public:
  explicit TDeviceLine(TExchangePort& Port) : FPort(Port) {}
  virtual ~TDeviceLine() = default;
  TDeviceLine(const TDeviceLine&) = delete;
  TDeviceLine& operator=(const TDeviceLine&) = delete;

  // One exchange, and the standard check of what came back against the request.
  TAnswer Ask(const ByteString& Request, bool ExamineCode = true);
  // The same with TimeoutMs for the answer to begin instead of AnswerTimeoutMs.
  TAnswer AskWithin(const ByteString& Request, int32_t TimeoutMs, bool ExamineCode = true);
  // A change sent to the universal address: the line is heard for the whole time-out, and a second answer
  // after the first makes the answer's MoreFollows true, so it is never taken for one device's success.
  TAnswer AskEveryDevice(const ByteString& Request);

  // Every byte the last exchange brought back, as it came (for records).
  const ByteString& LastReceived() const { return FLastReceived; }

  int32_t Speed() const { return FPort.Speed(); }
  void SetSpeed(int32_t BitsPerSecond);

 protected:
  // The exchange itself; the window overrides it to show that it is busy meanwhile.
  virtual ByteString Exchange(const ByteString& Request, int32_t TimeoutMs, TListen Listen);

 private:
  TExchangePort& FPort;
  ByteString FLastReceived;
};

// Runs Work with the line at Speed and gives the line its speed back afterwards, also when Work throws
// (an error setting the speed back is then left behind the first one).
template <typename TWork>
auto AtSpeed(TDeviceLine& Line, int32_t Speed, TWork&& Work) {
  const int32_t before = Line.Speed();
  Line.SetSpeed(Speed);
  try {
    auto result = std::forward<TWork>(Work)();
    Line.SetSpeed(before);
    return result;
  } catch (...) {
    try {
      Line.SetSpeed(before);
    } catch (...) {
    }
    throw;
  }
}

// Whether an exchange brought something that may be a reply but could not be read: noise or a damaged
// packet.
inline bool IsDamaged(const TAnswer& Answer) {
  return Answer.Status == TAnswerStatus::NoPacket || Answer.Status == TAnswerStatus::Invalid;
}

}  // namespace tarnel
