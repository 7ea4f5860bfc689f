#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/ByteString.h"
#include "serial/AfComPortCore.h"
#include "serial/AfOwner.h"

namespace tarnel {

enum TAfBaudrate : uint8_t {
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000,
  brUser
};
enum TAfDatabits : uint8_t { db4, db5, db6, db7, db8 };
enum TAfParity : uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TAfStopbits : uint8_t { sbOne, sbOneAndHalf, sbTwo };
enum TAfFlowControl : uint8_t { fwNone, fwXOnXOff, fwRtsCts, fwDtrDsr };
enum TAfComOption : uint8_t { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coStripNull };

// A set of TAfComOption: bit n stands for the option with ordinal n.
using TAfComOptions = uint8_t;
constexpr TAfComOptions ComOption(TAfComOption Option) {
  return static_cast<TAfComOptions>(1u << Option);
}

// Bits per second of each TAfBaudrate; 0 for brUser.
int32_t BaudRateValue(TAfBaudrate BaudRate);

class EAfComPortError : public Exception {
 public:
  explicit EAfComPortError(const std::string& message) : Exception(message) {}
};

class TAfCustomSerialPort;
using TNotifyEvent = std::function<void(TAfOwner* Sender)>;
using TAfCPTCoreEvent = std::function<void(TAfOwner* Sender, TAfCoreEvent EventKind, uint32_t Data)>;
using TAfCPTErrorEvent = std::function<void(TAfOwner* Sender, uint32_t Errors)>;
using TAfCPTDataReceivedEvent = std::function<void(TAfOwner* Sender, int32_t Count)>;

// Abstract base of components that move data: WriteData, Open and Close.
class TAfDataDispConnComponent : public TAfOwner {
 public:
  explicit TAfDataDispConnComponent(TAfOwner* Owner = nullptr) : TAfOwner(Owner) {}
  virtual void WriteData(const void* Buffer, int32_t Count) = 0;
  virtual void Close() {}
  virtual void Open() {}
};

// All storage and behaviour of the serial port component.
class TAfCustomSerialPort : public TAfDataDispConnComponent {
 public:
  explicit TAfCustomSerialPort(TAfOwner* Owner = nullptr);
  ~TAfCustomSerialPort() override;

  // End of loading from the layout: opens when AutoOpen is set, else rebuilds the DCB.
  virtual void Loaded();

  // Published properties; every setter compares first and does nothing when the value is unchanged.
  bool AutoOpen() const { return FAutoOpen; }
  void SetAutoOpen(bool Value);
  TAfBaudrate BaudRate() const { return FBaudRate; }
  void SetBaudRate(TAfBaudrate Value);
  TAfDatabits Databits() const { return FDatabits; }
  void SetDatabits(TAfDatabits Value);
  bool DTR() const { return FDTR; }
  void SetDTR(bool Value);
  TThreadPriority EventThreadPriority() const { return FEventThreadPriority; }
  void SetEventThreadPriority(TThreadPriority Value);
  TAfFlowControl FlowControl() const { return FFlowControl; }
  void SetFlowControl(TAfFlowControl Value);
  int32_t InBufSize() const { return FInBufSize; }
  void SetInBufSize(int32_t Value);
  TAfComOptions Options() const { return FOptions; }
  void SetOptions(TAfComOptions Value);
  int32_t OutBufSize() const { return FOutBufSize; }
  void SetOutBufSize(int32_t Value);
  TAfParity Parity() const { return FParity; }
  void SetParity(TAfParity Value);
  bool RTS() const { return FRTS; }
  void SetRTS(bool Value);
  TAfStopbits Stopbits() const { return FStopbits; }
  void SetStopbits(TAfStopbits Value);
  int32_t UserBaudRate() const { return FUserBaudRate; }
  void SetUserBaudRate(int32_t Value);
  TThreadPriority WriteThreadPriority() const { return FWriteThreadPriority; }
  void SetWriteThreadPriority(TThreadPriority Value);
  char XOnChar() const { return FXOnChar; }
  void SetXOnChar(char Value);
  char XOffChar() const { return FXOffChar; }
  void SetXOffChar(char Value);
  uint16_t XOnLim() const { return FXOnLim; }
  void SetXOnLim(uint16_t Value);
  uint16_t XOffLim() const { return FXOffLim; }
  void SetXOffLim(uint16_t Value);

  // Published events. Set them while the port is closed: the event thread reads them to decide what to
  // hand over to the UI thread.
  TNotifyEvent OnCTSChanged;
  TAfCPTDataReceivedEvent OnDataRecived;
  TNotifyEvent OnDSRChanged;
  TAfCPTErrorEvent OnLineError;
  TAfCPTCoreEvent OnNonSyncEvent;
  TNotifyEvent OnOutBufFree;
  TNotifyEvent OnPortClose;
  TNotifyEvent OnPortOpen;
  TNotifyEvent OnRINGDetected;
  TNotifyEvent OnRLSDChanged;
  TAfCPTCoreEvent OnSyncEvent;

  // Public operations, all on the UI thread.
  bool Active() const;
  void SetActive(bool Value);
  void Open() override;
  void Close() override;
  int32_t ReadBufUsed();
  int32_t WriteBufFree();
  void PurgeRx();
  void PurgeTx();
  void ReadData(void* Buffer, int32_t Count);
  ByteString ReadString();
  void WriteData(const void* Buffer, int32_t Count) override;
  void ApplyDCB(const DCB& Block);
  virtual bool ShowConfigDialog() = 0;

  // The port is open but its device has gone away; the next Open opens the device anew.
  bool DeviceGone() const { return FCore && FCore->DeviceGone(); }

  const DCB& Dcb() const { return FDCB; }
  TAfComPortCore* Core() const { return FCore.get(); }
  uint32_t SyncId() const { return FSyncId; }  // the delivery slot; 0 when none was free

  // What InternalOpen runs around the core's open (the application shows the busy cursor). End runs on
  // every path once Begin has run. The serial layer itself has no cursor.
  static void SetBusyCursorHooks(std::function<void()> Begin, std::function<void()> End);

 protected:
  virtual void InternalOpen() = 0;
  [[noreturn]] virtual void RaiseError(const std::string& Msg);
  void UpdateDCB();
  void RecalcFlowLimits();
  void CheckClosed();

 private:
  void CoreEvent(TAfComPortCore* Core, TAfCoreEvent Kind, uint32_t Data, std::exception_ptr Error);
  void DeliverStoredEvent();
  void DispatchSyncEvent(TAfCoreEvent Kind, uint32_t Data, std::exception_ptr Error);
  bool HeardOnUiThread(TAfCoreEvent Kind, uint32_t Data) const;
  void DispatchLineEvents(uint32_t Mask);
  void DeliverLoss(std::exception_ptr Error);
  [[noreturn]] void LosePort(std::exception_ptr Error);
  void CheckLoss();

  bool FAutoOpen = false;
  TAfBaudrate FBaudRate = br115200;
  std::atomic<bool> FClosing{false};  // read by the event thread
  std::unique_ptr<TAfComPortCore> FCore;
  TAfDatabits FDatabits = db8;
  DCB FDCB{};
  bool FDTR = true;
  TThreadPriority FEventThreadPriority = tpNormal;
  TAfFlowControl FFlowControl = fwNone;
  int32_t FInBufSize = 4096;
  TAfComOptions FOptions = 0;
  int32_t FOutBufSize = 2048;
  TAfParity FParity = paNone;
  bool FRTS = true;
  TAfStopbits FStopbits = sbOne;
  uint32_t FSyncId = 0;
  int32_t FUserBaudRate = 0;
  char FXOnChar = 17;
  char FXOffChar = 19;
  uint16_t FXOnLim = 0;
  uint16_t FXOffLim = 0;
  std::mutex FSyncLock;  // guards the stored event: the event thread writes it, the UI thread reads it
  TAfCoreEvent FSyncKind = ceOutFree;
  uint32_t FSyncData = 0;
  std::exception_ptr FSyncError;
  TThreadPriority FWriteThreadPriority = tpHighest;
  std::atomic<bool> FDestroying{false};
  std::atomic<bool> FLossHandled{false};  // the loss of this open's device has been reported
  bool FLost = false;                     // closed because the device went away, until the next Open
};

// Adds the COM number and the port name.
class TAfCustomComPort : public TAfCustomSerialPort {
 public:
  explicit TAfCustomComPort(TAfOwner* Owner = nullptr) : TAfCustomSerialPort(Owner) {}
  uint16_t ComNumber() const { return FComNumber; }
  void SetComNumber(uint16_t Value);  // an open port is closed, renumbered and opened again
  std::string PortName() const;       // "COM%d"
  bool ShowConfigDialog() override;   // no platform dialog here: false

 protected:
  void InternalOpen() override;

 private:
  uint16_t FComNumber = 0;
};

// The component the window uses.
class TAfComPort : public TAfCustomComPort {
 public:
  explicit TAfComPort(TAfOwner* Owner = nullptr) : TAfCustomComPort(Owner) {}
};

}  // namespace tarnel
