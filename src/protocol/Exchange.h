#pragma once

#include <cstdint>

#include "protocol/ByteString.h"
#include "serial/AfComPort.h"

namespace tarnel {

enum ExchangeOption : uint8_t { eoPurgeRx = 0, eoPurgeTx = 1 };
using ExchangeOptions = uint8_t;  // bit n = option n
inline constexpr ExchangeOptions StandardExchangeOptions = (1u << eoPurgeRx) | (1u << eoPurgeTx);

// Tells from the bytes received so far whether a whole answer is there: 0 ends the wait.
using PacketValidator = uint16_t (*)(const ByteString&);

// The port's speed in bit/s: UserBaudRate for brUser, else the speed table's value for BaudRate.
int32_t PortBaudRateValue(const TAfCustomSerialPort* Port);

// Milliseconds one character takes on the line: ten bit times.
double CharTimeMsFromBaud(int32_t Speed);

double PortCharTimeMs(const TAfCustomSerialPort* Port);

// Sends Request on the open port and returns every byte that came back. The wait ends when Validator
// accepts the bytes gathered so far, or when the line has been quiet past the deadline: TimeoutMs after the
// request has had time to leave, and once an answer has begun, five character times plus 150 ms after the
// latest arrival. Every exchange on an open port ends with a 10 ms pause; a closed or absent port gives an
// empty result at once. Errors of the port component propagate.
ByteString ExchangePacket(TAfCustomSerialPort* Port, const ByteString& Request, int32_t TimeoutMs,
                          PacketValidator Validator, ExchangeOptions Options);

}  // namespace tarnel
