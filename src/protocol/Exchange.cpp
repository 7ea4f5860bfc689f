#include "protocol/Exchange.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

#include "protocol/AnswerCheck.h"
#include "protocol/Packet97.h"

namespace tarnel {

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds FinalPause(10);
constexpr int QuietCharacters = 5;
constexpr int64_t QuietExtraMs = 150;

bool Has(ExchangeOptions Options, ExchangeOption Option) {
  return (Options & (1u << Option)) != 0;
}

milliseconds LineTime(double Characters, double CharTimeMs) {
  // A speed of 0 or below has no usable character time (infinite or negative): such a line time counts
  // as nothing, so the exchange still ends after its time-out instead of overflowing the deadline.
  const double ms = std::ceil(Characters * CharTimeMs);
  if (!std::isfinite(ms) || ms < 0.0) return milliseconds(0);
  return milliseconds(static_cast<int64_t>(ms));
}

// The longest answer the tool expects: an INFO text of 1024 characters in its packet (header, address, tag,
// code, checksum and end). A Length field announcing more is noise or a device the tool cannot serve, and
// must not stretch the bound to a minute.
constexpr size_t LongestExpectedAnswer = 4 + 5 + 1024;

// The whole size the packet at the start of Answer announces in its Length field, at most the longest
// expected answer; 0 while no packet header is there (noise, or too few bytes yet).
size_t AnnouncedSize(const ByteString& Answer) {
  if (Answer.size() < 2 || Answer[0] != PacketPrefix97 || Answer[1] != PacketFormat97) return 0;
  return std::min(AnnouncedPacketSize97(Answer), LongestExpectedAnswer);
}

// Milliseconds to wait from Now so that the wait ends just past At (a wait never ends early), at least 1.
int32_t WaitMsUntil(TClock::time_point Now, TClock::time_point At) {
  if (At <= Now) return 1;
  const int64_t ms = std::chrono::duration_cast<milliseconds>(At - Now).count() + 1;
  return static_cast<int32_t>(std::min<int64_t>(ms, INT32_MAX));
}

}  // namespace

double CharTimeMsFromBaud(int32_t Speed) {
  return (1000.0 / Speed) * 10;
}

namespace {

// The bytes after the complete packets at the front of Answer: an answer still arriving, or noise.
ByteString Unfinished(ByteString Answer) {
  while (!ExtractPacket97(Answer, true).empty()) {
  }
  return Answer;
}

// The one wait behind both exchanges. Listen keeps it open for the whole time-out, however soon an answer
// comes, and then until the answer arriving at that moment has ended.
ByteString Run(TExchangePort* Port, const ByteString& Request, int32_t TimeoutMs, PacketValidator Validator,
               ExchangeOptions Options, bool Listen) {
  ByteString result;
  if (Port == nullptr || !Port->Active()) return result;
  if (Has(Options, eoPurgeRx)) Port->PurgeRx();
  if (Has(Options, eoPurgeTx)) Port->PurgeTx();
  const double charTimeMs = CharTimeMsFromBaud(Port->Speed());
  if (!Request.empty()) Port->Write(Request);
  const milliseconds quietTime = LineTime(QuietCharacters, charTimeMs) + milliseconds(QuietExtraMs);
  const TClock::time_point timeoutAt =
      TClock::now() + LineTime(static_cast<double>(Request.size()), charTimeMs) + milliseconds(TimeoutMs);
  TClock::time_point deadline = timeoutAt;
  TClock::time_point limit = timeoutAt + quietTime;
  ByteString answer;
  ByteString unfinished;
  // Between looks the wait sleeps until bytes arrive or the next moment a rule below could end the
  // exchange without them, so a quiet line costs one wake-up per deadline. A validator that takes no
  // answer at all ends the exchange at the first look, 1 ms on.
  TClock::time_point wakeAt = timeoutAt;
  if (!Listen && Validator != nullptr && Validator(answer) == 0) wakeAt = TClock::now();
  for (;;) {
    Port->WaitForArrival(WaitMsUntil(TClock::now(), wakeAt));
    // ReadAll counts what waits itself: asking BytesWaiting first would ask the driver twice.
    const ByteString arrived = Port->ReadAll();
    if (!arrived.empty()) {
      result += arrived;
      answer = AnswerPart(result, Request);
      deadline = TClock::now() + quietTime;
      if (answer.empty() && deadline < timeoutAt) deadline = timeoutAt;
      unfinished = Listen ? Unfinished(answer) : answer;
      limit = timeoutAt + LineTime(static_cast<double>(AnnouncedSize(unfinished)), charTimeMs) + quietTime;
    }
    const TClock::time_point now = TClock::now();
    if (now > limit) break;
    if (Listen) {
      if (now > timeoutAt && (unfinished.empty() || now > deadline)) break;
      wakeAt = std::min(limit, unfinished.empty() ? timeoutAt : std::max(timeoutAt, deadline));
      continue;
    }
    if (now > deadline) break;
    // The validator's verdict changes only with new bytes, which end the wait by themselves.
    if (Validator != nullptr && Validator(answer) == 0) break;
    wakeAt = std::min(limit, deadline);
  }
  Port->PauseUntil(TClock::now() + FinalPause);
  return result;
}

}  // namespace

ByteString ExchangePacket(TExchangePort* Port, const ByteString& Request, int32_t TimeoutMs,
                          PacketValidator Validator, ExchangeOptions Options) {
  return Run(Port, Request, TimeoutMs, Validator, Options, false);
}

ByteString ExchangeListening(TExchangePort* Port, const ByteString& Request, int32_t TimeoutMs,
                             ExchangeOptions Options) {
  return Run(Port, Request, TimeoutMs, nullptr, Options, true);
}

}  // namespace tarnel
