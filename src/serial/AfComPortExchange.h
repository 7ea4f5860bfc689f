#pragma once

#include <cstdint>

#include "protocol/ExchangePort.h"
#include "serial/AfComPort.h"

namespace tarnel {

// The port's speed in bit/s: UserBaudRate for brUser, else the speed table's value for BaudRate.
int32_t PortBaudRateValue(const TAfCustomSerialPort* Port);

// The speed table's entry for BitsPerSecond; brUser when the table has none.
TAfBaudrate BaudRateOfValue(int32_t BitsPerSecond);

// Milliseconds one character takes on the port's line: ten bit times at its speed.
double PortCharTimeMs(const TAfCustomSerialPort* Port);

// Serves the exchange with the port component: its reads, writes and purges, and a wait that wakes when
// the core sees input. An absent port is never active. Lives no longer than the component.
class TAfComPortExchange : public TExchangePort {
 public:
  explicit TAfComPortExchange(TAfCustomSerialPort* Port) : FPort(Port) {}

  bool Active() const override;
  int32_t Speed() const override;
  void SetSpeed(int32_t BitsPerSecond) override;
  void PurgeRx() override;
  void PurgeTx() override;
  void Write(const ByteString& Bytes) override;
  int32_t BytesWaiting() override;
  ByteString ReadAll() override;
  void WaitForArrival(int32_t TimeoutMs) override;
  void PauseUntil(std::chrono::steady_clock::time_point Until) override;

 private:
  TAfCustomSerialPort* FPort;
};

}  // namespace tarnel
