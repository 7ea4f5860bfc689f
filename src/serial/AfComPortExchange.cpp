#include "serial/AfComPortExchange.h"

#include "protocol/Exchange.h"
#include "serial/platform/Threads.h"

namespace tarnel {

int32_t PortBaudRateValue(const TAfCustomSerialPort* Port) {
  if (Port->BaudRate() == brUser) return Port->UserBaudRate();
  return BaudRateValue(Port->BaudRate());
}

TAfBaudrate BaudRateOfValue(int32_t BitsPerSecond) {
  for (int speed = br110; speed < brUser; ++speed)
    if (BaudRateValue(static_cast<TAfBaudrate>(speed)) == BitsPerSecond)
      return static_cast<TAfBaudrate>(speed);
  return brUser;
}

double PortCharTimeMs(const TAfCustomSerialPort* Port) {
  return CharTimeMsFromBaud(PortBaudRateValue(Port));
}

bool TAfComPortExchange::Active() const {
  return FPort != nullptr && FPort->Active();
}

int32_t TAfComPortExchange::Speed() const {
  return PortBaudRateValue(FPort);
}

void TAfComPortExchange::SetSpeed(int32_t BitsPerSecond) {
  const TAfBaudrate speed = BaudRateOfValue(BitsPerSecond);
  if (speed == brUser)
    FPort->SetUserBaudRate(BitsPerSecond);
  else
    FPort->SetBaudRate(speed);
}

void TAfComPortExchange::PurgeRx() {
  FPort->PurgeRx();
}

void TAfComPortExchange::PurgeTx() {
  FPort->PurgeTx();
}

void TAfComPortExchange::Write(const ByteString& Bytes) {
  FPort->WriteData(Bytes.data(), static_cast<int32_t>(Bytes.size()));
}

int32_t TAfComPortExchange::BytesWaiting() {
  return FPort->ReadBufUsed();
}

ByteString TAfComPortExchange::ReadAll() {
  return FPort->ReadString();
}

// The core looks at the device itself, so the event thread, which may be held up delivering to this very
// thread, has no part in the wake-up.
void TAfComPortExchange::WaitForArrival(int32_t TimeoutMs) {
  FPort->Core()->WaitForInput(TimeoutMs);
}

void TAfComPortExchange::PauseUntil(std::chrono::steady_clock::time_point Until) {
  platform::SleepUntil(Until);
}

}  // namespace tarnel
