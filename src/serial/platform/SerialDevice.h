#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/AfComPortTypes.h"
#include "serial/platform/ComNames.h"
#include "serial/platform/Event.h"

namespace tarnel::platform {

// What purging discards.
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;

// Further line control codes beside SETRTS..CLRDTR.
inline constexpr uint32_t SETXOFF = 1, SETXON = 2, SETBREAK = 8, CLRBREAK = 9;

// One serial device, with exactly the operations the port core needs of the operating system. The core
// and its threads use nothing else. Every operation may be called from any thread; the core serialises
// reads against reads and writes against writes.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens COM<n> for exclusive use; Missing when no such device exists.
  virtual TOpenResult Open(int ComNumber) = 0;
  // Why the last Open failed, in sentences ending with a period; empty after a successful one.
  virtual const std::string& OpenFailure() const = 0;
  virtual bool Close() = 0;
  virtual int Handle() const = 0;  // -1 while closed

  // Reads return at once with what has arrived; writes never wait.
  virtual bool SetReadsReturnAtOnce() = 0;
  // Driver queue sizes; advisory where the driver chooses its own.
  virtual bool SetQueueSizes(int32_t InSize, int32_t OutSize) = 0;
  // The line events TakeLineEvents reports; 0 stops reporting.
  virtual bool SetEventMask(uint32_t Mask) = 0;
  // Applies the settings; on refusal the old ones stay.
  virtual bool ApplyLineSettings(const DCB& Dcb) = 0;
  virtual bool ReadLineSettings(DCB& Dcb) = 0;

  // Waits until bytes have arrived, TimeoutMs at the longest; true when some are waiting. Bytes that came
  // before the call end it at once. By default the wait is on Handle() as a waitable handle.
  virtual bool WaitForInput(int TimeoutMs);

  // Signalled when a line event may have happened; wait on it together with other events.
  virtual Waitable& LineEventSource() = 0;
  // The events of the mask seen since the last call (call after the source fired and at each poll).
  virtual uint32_t TakeLineEvents() = 0;

  // Up to Count bytes that have arrived, possibly 0; -1 on failure.
  virtual int32_t Read(void* Buffer, int32_t Count) = 0;
  // Bytes the driver took at once, possibly 0 when it is full; -1 on failure.
  virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
  // Signalled when the driver may take more bytes.
  virtual Waitable& WriteReadySource() = 0;

  // Returns and clears the error flags (CE_ bits) and fills the queue counts.
  virtual bool ClearErrors(uint32_t& Errors, COMSTAT& Stat) = 0;
  virtual bool Purge(uint32_t Flags) = 0;
  virtual bool Escape(uint32_t Function) = 0;

  // The device went away (adapter unplugged, other side of a pseudo-terminal closed).
  virtual bool IsGone() const = 0;
};

std::unique_ptr<SerialDevice> CreateSerialDevice();

}  // namespace tarnel::platform
