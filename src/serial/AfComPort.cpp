#include "serial/AfComPort.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "serial/AfSafeSync.h"

namespace tarnel {

namespace {

constexpr uint32_t kSyncTimeoutMs = 2000;

constexpr int32_t kBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,   14400,
                                  19200, 38400, 56000, 57600, 115200, 128000, 256000, 0};

// DCB flags of each TAfFlowControl, in ordinal order.
constexpr uint32_t kFlowControlFlags[] = {0, dcbOutX | dcbInX, dcbOutxCtsFlow | dcbRtsControlHandshake,
                                          dcbOutxDsrFlow | dcbDtrControlHandshake};

// DCB flag of each TAfComOption, in ordinal order.
constexpr uint32_t kOptionFlags[] = {dcbParity, dcbDsrSensitivity, dcbTXContinueOnXoff, dcbErrorChar,
                                     dcbNull};
constexpr int kOptionCount = 5;

struct TBusyCursorHooks {
  std::function<void()> Begin;
  std::function<void()> End;
};

TBusyCursorHooks& BusyCursorHooks() {
  static TBusyCursorHooks hooks;
  return hooks;
}

// The busy cursor for the length of a scope; restored however the scope is left.
class TBusyCursor {
 public:
  TBusyCursor() {
    if (!BusyCursorHooks().Begin) return;
    BusyCursorHooks().Begin();
    FShown = true;
  }
  ~TBusyCursor() {
    if (!FShown || !BusyCursorHooks().End) return;
    try {
      BusyCursorHooks().End();
    } catch (...) {
    }
  }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

 private:
  bool FShown = false;
};

uint16_t ClampLimit(int64_t Value) {
  return static_cast<uint16_t>(std::clamp<int64_t>(Value, 0, 65535));
}

TAfBaudrate BaudRateOfSpeed(uint32_t Speed) {
  for (int i = br110; i < brUser; ++i)
    if (static_cast<uint32_t>(kBaudRates[i]) == Speed) return static_cast<TAfBaudrate>(i);
  return brUser;
}

TAfFlowControl FlowControlOfFlags(uint32_t Flags) {
  for (TAfFlowControl flow : {fwDtrDsr, fwRtsCts, fwXOnXOff})
    if ((Flags & kFlowControlFlags[flow]) == kFlowControlFlags[flow]) return flow;
  return fwNone;
}

TAfComOptions OptionsOfFlags(uint32_t Flags) {
  TAfComOptions options = 0;
  for (int i = 0; i < kOptionCount; ++i)
    if (Flags & kOptionFlags[i]) options |= ComOption(static_cast<TAfComOption>(i));
  return options;
}

bool IsPortLoss(const std::exception_ptr& Error) {
  if (!Error) return false;
  try {
    std::rethrow_exception(Error);
  } catch (const EAfComPortLost&) {
    return true;
  } catch (...) {
    return false;
  }
}

std::string WriteErrorText(int32_t Requested, int32_t Free) {
  char text[96];
  std::snprintf(text, sizeof text, "Write data error [requested: %d, free: %d]", Requested, Free);
  return text;
}

}  // namespace

int32_t BaudRateValue(TAfBaudrate BaudRate) {
  return BaudRate <= brUser ? kBaudRates[BaudRate] : 0;
}

// ---- construction and lifetime

TAfCustomSerialPort::TAfCustomSerialPort(TAfOwner* Owner) : TAfDataDispConnComponent(Owner) {
  FSyncId = SafeSyncRegister([this](uint32_t) { DeliverStoredEvent(); });
  FCore = std::make_unique<TAfComPortCore>();
  FCore->OnCoreEvent = [this](TAfComPortCore* Core, TAfCoreEvent Kind, uint32_t Data,
                              std::exception_ptr Error) { CoreEvent(Core, Kind, Data, std::move(Error)); };
  UpdateDCB();
}

TAfCustomSerialPort::~TAfCustomSerialPort() {
  // No OnPortClose here. Freeing the slot first releases an event thread waiting in a delivery, so the
  // core's close below never waits for it.
  FDestroying = true;
  SafeSyncUnregister(FSyncId);
  FCore.reset();
}

void TAfCustomSerialPort::Loaded() {
  if (FAutoOpen)
    Open();
  else
    UpdateDCB();
}

void TAfCustomSerialPort::SetBusyCursorHooks(std::function<void()> Begin, std::function<void()> End) {
  BusyCursorHooks() = TBusyCursorHooks{std::move(Begin), std::move(End)};
}

// ---- properties

void TAfCustomSerialPort::SetAutoOpen(bool Value) {
  FAutoOpen = Value;
}

void TAfCustomSerialPort::SetBaudRate(TAfBaudrate Value) {
  if (Value == FBaudRate) return;
  FBaudRate = Value;
  if (Value != brUser) FUserBaudRate = 0;
  UpdateDCB();
}

void TAfCustomSerialPort::SetDatabits(TAfDatabits Value) {
  if (Value == FDatabits) return;
  FDatabits = Value;
  UpdateDCB();
}

void TAfCustomSerialPort::SetDTR(bool Value) {
  if (Value == FDTR) return;
  if (Active()) FCore->EscapeFunction(Value ? SETDTR : CLRDTR);
  FDTR = Value;
}

void TAfCustomSerialPort::SetEventThreadPriority(TThreadPriority Value) {
  FEventThreadPriority = Value;
}

void TAfCustomSerialPort::SetFlowControl(TAfFlowControl Value) {
  if (Value == FFlowControl) return;
  FFlowControl = Value;
  RecalcFlowLimits();
  UpdateDCB();
}

void TAfCustomSerialPort::SetInBufSize(int32_t Value) {
  if (Value == FInBufSize) return;
  CheckClosed();
  FInBufSize = Value;
  RecalcFlowLimits();
}

void TAfCustomSerialPort::SetOptions(TAfComOptions Value) {
  if (Value == FOptions) return;
  FOptions = Value;
  UpdateDCB();
}

void TAfCustomSerialPort::SetOutBufSize(int32_t Value) {
  if (Value == FOutBufSize) return;
  CheckClosed();
  FOutBufSize = Value;
}

void TAfCustomSerialPort::SetParity(TAfParity Value) {
  if (Value == FParity) return;
  FParity = Value;
  UpdateDCB();
}

void TAfCustomSerialPort::SetRTS(bool Value) {
  if (Value == FRTS) return;
  if (Active()) FCore->EscapeFunction(Value ? SETRTS : CLRRTS);
  FRTS = Value;
}

void TAfCustomSerialPort::SetStopbits(TAfStopbits Value) {
  if (Value == FStopbits) return;
  FStopbits = Value;
  UpdateDCB();
}

void TAfCustomSerialPort::SetUserBaudRate(int32_t Value) {
  if (Value == FUserBaudRate) return;
  FUserBaudRate = Value;
  FBaudRate = brUser;
  UpdateDCB();
}

void TAfCustomSerialPort::SetWriteThreadPriority(TThreadPriority Value) {
  FWriteThreadPriority = Value;
}

void TAfCustomSerialPort::SetXOnChar(char Value) {
  if (Value == FXOnChar) return;
  FXOnChar = Value;
  UpdateDCB();
}

void TAfCustomSerialPort::SetXOffChar(char Value) {
  if (Value == FXOffChar) return;
  FXOffChar = Value;
  UpdateDCB();
}

void TAfCustomSerialPort::SetXOnLim(uint16_t Value) {
  if (Value == FXOnLim) return;
  FXOnLim = Value;
  FXOffLim = ClampLimit(int64_t{FInBufSize} - Value);
}

void TAfCustomSerialPort::SetXOffLim(uint16_t Value) {
  if (Value == FXOffLim) return;
  FXOffLim = Value;
  FXOnLim = ClampLimit(int64_t{FInBufSize} - Value);
}

// ---- the line settings block

void TAfCustomSerialPort::UpdateDCB() {
  DCB block{};
  block.DCBlength = sizeof(DCB);
  block.BaudRate = static_cast<uint32_t>(FBaudRate == brUser ? FUserBaudRate : BaudRateValue(FBaudRate));
  block.ByteSize = static_cast<uint8_t>(4 + FDatabits);
  block.Parity = FParity;
  block.StopBits = FStopbits;
  block.XonChar = FXOnChar;
  block.XoffChar = FXOffChar;
  block.XonLim = FXOnLim;
  block.XoffLim = FXOffLim;
  block.Flags = kFlowControlFlags[FFlowControl] | dcbBinary;
  for (int i = 0; i < kOptionCount; ++i)
    if (FOptions & ComOption(static_cast<TAfComOption>(i))) block.Flags |= kOptionFlags[i];
  if (FDTR && FFlowControl != fwDtrDsr) block.Flags |= dcbDtrControlEnable;
  if (FRTS && FFlowControl != fwRtsCts) block.Flags |= dcbRtsControlEnable;
  FDCB = block;
  if (!Active()) return;
  try {
    FCore->ConfigureLine(FDCB);
  } catch (...) {
    FDCB = FCore->Dcb();  // the port kept its settings; the block says so again
    throw;
  }
}

void TAfCustomSerialPort::ApplyDCB(const DCB& Block) {
  if (Block.DCBlength != sizeof(DCB)) RaiseError("Error setting parameters from DCB");
  FDCB = Block;
  FBaudRate = BaudRateOfSpeed(Block.BaudRate);
  FUserBaudRate = FBaudRate == brUser ? static_cast<int32_t>(Block.BaudRate) : 0;
  FDatabits = Block.ByteSize >= 4 && Block.ByteSize <= 8 ? static_cast<TAfDatabits>(Block.ByteSize - 4) : db8;
  FParity = Block.Parity <= paSpace ? static_cast<TAfParity>(Block.Parity) : paNone;
  FStopbits = Block.StopBits <= sbTwo ? static_cast<TAfStopbits>(Block.StopBits) : sbOne;
  FFlowControl = FlowControlOfFlags(Block.Flags);
  FOptions = OptionsOfFlags(Block.Flags);
  FXOnChar = Block.XonChar;
  FXOffChar = Block.XoffChar;
  FXOnLim = Block.XonLim;
  FXOffLim = Block.XoffLim;
  UpdateDCB();
}

void TAfCustomSerialPort::RecalcFlowLimits() {
  if (FFlowControl == fwNone) {
    FXOnLim = 0;
    FXOffLim = 0;
    return;
  }
  int64_t onLim = FInBufSize / 4;
  FXOnLim = ClampLimit(onLim);
  FXOffLim = ClampLimit(int64_t{FInBufSize} - onLim);
}

void TAfCustomSerialPort::CheckClosed() {
  if (Active()) RaiseError("Port is not closed");
}

void TAfCustomSerialPort::RaiseError(const std::string& Msg) {
  throw EAfComPortError(Msg + " - " + OwnerName(*this) + " ");
}

// ---- opening and closing

bool TAfCustomSerialPort::Active() const {
  return FCore && FCore->IsOpen();
}

void TAfCustomSerialPort::SetActive(bool Value) {
  if (Value)
    Open();
  else
    Close();
}

void TAfCustomSerialPort::Open() {
  if (!FCore) return;
  if (FCore->IsOpen()) {
    if (!FCore->DeviceGone()) return;
    // A device that went away is not kept: the port is closed and its device opened anew.
    FLossHandled = true;
    Close();
  }
  FLost = false;
  FLossHandled = false;
  SafeSyncEnable(FSyncId, true);
  FCore->ConfigureLine(FDCB);
  FCore->SetInQueueSize(FInBufSize);
  FCore->SetOutQueueSize(FOutBufSize);
  FCore->SetEventThreadPriority(FEventThreadPriority);
  FCore->SetWriteThreadPriority(FWriteThreadPriority);
  FClosing = false;
  InternalOpen();
  if (OnPortOpen) OnPortOpen(this);
}

void TAfCustomSerialPort::Close() {
  // Muted for the whole close, and unmuted again even when the close handler raises.
  struct TMute {
    std::atomic<bool>& Flag;
    ~TMute() { Flag = false; }
  } mute{FClosing};
  FClosing = true;
  if (!FCore) return;
  // Shutting the slot releases an event thread waiting in a delivery, so the core's stop is never held up.
  SafeSyncEnable(FSyncId, false);
  FCore->ClosePort();
  if (OnPortClose) OnPortClose(this);
}

// ---- data

int32_t TAfCustomSerialPort::ReadBufUsed() {
  COMSTAT stat;
  FCore->GetQueueStatus(stat);
  return static_cast<int32_t>(stat.cbInQue);
}

int32_t TAfCustomSerialPort::WriteBufFree() {
  return FCore->OutputFree();
}

void TAfCustomSerialPort::PurgeRx() {
  if (!FClosing) FCore->PurgeInput();
}

void TAfCustomSerialPort::PurgeTx() {
  if (!FClosing) FCore->PurgeOutput();
}

void TAfCustomSerialPort::ReadData(void* Buffer, int32_t Count) {
  if (FClosing) return;
  if (FCore->ReadBytes(Buffer, Count) == Count) return;
  CheckLoss();
  RaiseError("Read data error");
}

ByteString TAfCustomSerialPort::ReadString() {
  if (FClosing) return {};
  int32_t waiting = ReadBufUsed();
  if (waiting <= 0) return {};
  ByteString result(static_cast<size_t>(waiting), '\0');
  int32_t got = FCore->ReadBytes(result.data(), waiting);
  // Only what was really read: the driver may hand over less than it counted a moment ago.
  result.resize(static_cast<size_t>(std::max(got, 0)));
  return result;
}

void TAfCustomSerialPort::WriteData(const void* Buffer, int32_t Count) {
  if (FClosing) return;
  if (FCore->WriteBytes(Buffer, Count)) return;
  CheckLoss();
  RaiseError(WriteErrorText(Count, WriteBufFree()));
}

// After a refused read or write: a device that went away closes the port and is reported here instead,
// once; on a port already closed for its loss the operation is abandoned silently, the user has been told.
void TAfCustomSerialPort::CheckLoss() {
  if (FCore->DeviceGone())
    LosePort(std::make_exception_ptr(EAfComPortLost(LostPortText(FCore->PortNumber()))));
  if (FLost && !Active()) throw EAbort();
}

// UI thread. Closed the normal way, so OnPortClose brings the window to its closed state before the message
// shows; a loss already reported for this open is not reported again.
void TAfCustomSerialPort::LosePort(std::exception_ptr Error) {
  if (FLossHandled.exchange(true)) throw EAbort();
  FLost = true;
  Close();
  std::rethrow_exception(Error);
}

// ---- events from the core

// Event thread.
void TAfCustomSerialPort::CoreEvent(TAfComPortCore*, TAfCoreEvent Kind, uint32_t Data,
                                    std::exception_ptr Error) {
  if (FClosing || FDestroying) return;
  if (Kind != ceException && OnNonSyncEvent) {
    OnNonSyncEvent(this, Kind, Data);
    return;
  }
  if (!HeardOnUiThread(Kind, Data)) return;
  // The UI thread takes sole ownership of an exception it shows; a loss is kept here to offer it again.
  const bool loss = Kind == ceException && IsPortLoss(Error);
  {
    std::lock_guard<std::mutex> guard(FSyncLock);
    FSyncKind = Kind;
    FSyncData = Data;
    FSyncError = loss ? Error : std::move(Error);
  }
  // A shut or missing slot means the port is closing or no slot was free: drop the event silently.
  if (!SafeSyncCall(FSyncId, kSyncTimeoutMs)) throw EAbort();
  if (loss) DeliverLoss(std::move(Error));
}

// Event thread. The loss must reach the user even when the UI thread was too busy to take it in time, so
// it is offered again until the port has been closed for it (which shuts the slot and ends the wait).
void TAfCustomSerialPort::DeliverLoss(std::exception_ptr Error) {
  while (!FLossHandled && !FClosing && !FDestroying) {
    {
      std::lock_guard<std::mutex> guard(FSyncLock);
      FSyncKind = ceException;
      FSyncData = 0;
      FSyncError = Error;
    }
    if (!SafeSyncCall(FSyncId, kSyncTimeoutMs)) throw EAbort();
  }
}

// Whether a handler on the UI thread would act on the event. One that nobody takes is not handed over: the
// hand-over costs both threads a wake-up, and while the UI thread is in an exchange it holds this thread
// for up to 2000 ms. Line errors are taken when a line event is dispatched, so while OnLineError is set
// every line event goes over.
bool TAfCustomSerialPort::HeardOnUiThread(TAfCoreEvent Kind, uint32_t Data) const {
  if (Kind == ceException || OnSyncEvent) return true;
  switch (Kind) {
    case ceOutFree:
      return static_cast<bool>(OnOutBufFree);
    case ceNeedReadData:
      return static_cast<bool>(OnDataRecived);
    case ceLineEvent:
      return ((Data & EV_RXCHAR) && OnDataRecived) || OnLineError || ((Data & EV_CTS) && OnCTSChanged) ||
             ((Data & EV_DSR) && OnDSRChanged) || ((Data & EV_RING) && OnRINGDetected) ||
             ((Data & EV_RLSD) && OnRLSDChanged);
    default:
      return true;
  }
}

// UI thread: the slot's callback.
void TAfCustomSerialPort::DeliverStoredEvent() {
  if (FClosing || FDestroying) return;
  TAfCoreEvent kind;
  uint32_t data;
  std::exception_ptr error;
  {
    std::lock_guard<std::mutex> guard(FSyncLock);
    kind = FSyncKind;
    data = FSyncData;
    error = std::exchange(FSyncError, nullptr);
  }
  DispatchSyncEvent(kind, data, std::move(error));
}

void TAfCustomSerialPort::DispatchSyncEvent(TAfCoreEvent Kind, uint32_t Data, std::exception_ptr Error) {
  if (FClosing || FDestroying) return;
  if (OnSyncEvent) OnSyncEvent(this, Kind, Data);
  switch (Kind) {
    case ceOutFree:
      if (OnOutBufFree) OnOutBufFree(this);
      break;
    case ceLineEvent:
      if ((Data & EV_RXCHAR) && OnDataRecived) OnDataRecived(this, ReadBufUsed());
      DispatchLineEvents(Data);
      break;
    case ceNeedReadData:
      if (OnDataRecived) OnDataRecived(this, static_cast<int32_t>(Data));
      break;
    case ceException:
      if (IsPortLoss(Error)) LosePort(Error);
      // Raised here so that the application's handler shows it.
      if (Error) std::rethrow_exception(Error);
      break;
  }
}

void TAfCustomSerialPort::DispatchLineEvents(uint32_t Mask) {
  uint32_t errors = FCore->TakeLineErrors();
  if ((Mask & EV_ERR) && OnLineError) OnLineError(this, errors);
  if ((Mask & EV_CTS) && OnCTSChanged) OnCTSChanged(this);
  if ((Mask & EV_DSR) && OnDSRChanged) OnDSRChanged(this);
  if ((Mask & EV_RING) && OnRINGDetected) OnRINGDetected(this);
  if ((Mask & EV_RLSD) && OnRLSDChanged) OnRLSDChanged(this);
}

// ---- TAfCustomComPort

void TAfCustomComPort::SetComNumber(uint16_t Value) {
  if (Value == FComNumber) return;
  if (!Active()) {
    FComNumber = Value;
    return;
  }
  Close();
  FComNumber = Value;
  Open();
}

std::string TAfCustomComPort::PortName() const {
  return "COM" + std::to_string(FComNumber);
}

bool TAfCustomComPort::ShowConfigDialog() {
  return false;
}

void TAfCustomComPort::InternalOpen() {
  TBusyCursor busy;
  Core()->OpenPort(FComNumber);
}

}  // namespace tarnel
