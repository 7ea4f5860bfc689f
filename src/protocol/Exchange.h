#pragma once

#include <cstdint>

#include "common/ByteString.h"
#include "protocol/ExchangePort.h"

namespace tarnel {

enum ExchangeOption : uint8_t { eoPurgeRx = 0, eoPurgeTx = 1 };
using ExchangeOptions = uint8_t;  // bit n = option n
inline constexpr ExchangeOptions StandardExchangeOptions = (1u << eoPurgeRx) | (1u << eoPurgeTx);

// Tells from the bytes received so far whether a whole answer is there: 0 ends the wait.
using PacketValidator = uint16_t (*)(const ByteString&);

// Milliseconds one character takes on the line: ten bit times.
double CharTimeMsFromBaud(int32_t Speed);

// Sends Request on the open port and returns every byte that came back. The wait ends when Validator
// accepts the answer part gathered so far (AnswerPart of the bytes and Request: the request's echo and
// packets that answer something else are passed over), or when the line has been quiet past the deadline:
// TimeoutMs after the request has had time to leave, and once an answer has begun, five character times
// plus 150 ms after the latest arrival. Bytes that hold no possible answer yet (echo, foreign packets) never
// end the wait before TimeoutMs has passed, so a device behind an echoing converter keeps its full time.
//
// Bytes that keep coming cannot hold the wait open for ever: it ends at the latest at
//   start + line time of Request + TimeoutMs + line time of the longest answer + the quiet time,
// and then returns what it has, as a time-out does. The longest answer is the packet whose Length field has
// arrived at the start of the answer part, so a complete answer is never cut short, counted at most as the
// longest answer the tool expects: an INFO text of 1024 characters, a 1033-byte packet (the INFO text is the
// only answer whose length the device chooses). Bytes that announce no packet (noise) add nothing. With a
// 9-byte request and TimeoutMs 500 the bound is:
//   9600 bit/s:   666 ms for noise, 728 ms for an answer with 50 data bytes, 1743 ms at worst;
//   115200 bit/s: 652 ms for noise, 658 ms for an answer with 50 data bytes, 742 ms at worst.
// Between looks at the port the exchange sleeps until bytes arrive or the nearest deadline above, so it
// notices the last byte of an answer at once and a quiet line costs next to nothing. Every exchange on an
// open port ends with a 10 ms pause (a sleep, through the port's PauseUntil); a closed or absent port gives
// an empty result at once. Errors of the port propagate.
ByteString ExchangePacket(TExchangePort* Port, const ByteString& Request, int32_t TimeoutMs,
                          PacketValidator Validator, ExchangeOptions Options);

// The same exchange for a request that every device hearing it may carry out (a change sent to the universal
// address): it listens for the whole TimeoutMs however soon an answer comes, so that a second device
// answering after the first is heard too, and then until the answer arriving at that moment has ended (a
// quiet line, or complete packets), within the same hard bound. Returns every byte that came back.
ByteString ExchangeListening(TExchangePort* Port, const ByteString& Request, int32_t TimeoutMs,
                             ExchangeOptions Options);

}  // namespace tarnel
