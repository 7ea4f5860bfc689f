#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/Exception.h"

namespace tarnel {

// The line settings block handed from the component to the core: the 28-byte Win32 DCB layout.
struct DCB {
  uint32_t DCBlength = 0;
  uint32_t BaudRate = 0;
  uint32_t Flags = 0;
  uint16_t wReserved = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;
  uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  uint16_t wReserved1 = 0;
};
static_assert(sizeof(DCB) == 28, "DCB keeps the 28-byte Win32 layout");

// DCB flag bits.
inline constexpr uint32_t dcbBinary = 0x0001;
inline constexpr uint32_t dcbParity = 0x0002;
inline constexpr uint32_t dcbOutxCtsFlow = 0x0004;
inline constexpr uint32_t dcbOutxDsrFlow = 0x0008;
inline constexpr uint32_t dcbDtrControlEnable = 0x0010;
inline constexpr uint32_t dcbDtrControlHandshake = 0x0020;
inline constexpr uint32_t dcbDsrSensitivity = 0x0040;
inline constexpr uint32_t dcbTXContinueOnXoff = 0x0080;
inline constexpr uint32_t dcbOutX = 0x0100;
inline constexpr uint32_t dcbInX = 0x0200;
inline constexpr uint32_t dcbErrorChar = 0x0400;
inline constexpr uint32_t dcbNull = 0x0800;
inline constexpr uint32_t dcbRtsControlEnable = 0x1000;
inline constexpr uint32_t dcbRtsControlHandshake = 0x2000;

// DCB parity and stop-bit values.
inline constexpr uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4;
inline constexpr uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;

// Queue status: error flags and the counts of bytes waiting in and out (12 bytes).
struct COMSTAT {
  uint32_t Flags = 0;
  uint32_t cbInQue = 0;
  uint32_t cbOutQue = 0;
};

// Communication event bits.
inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_TXEMPTY = 0x0004;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_DSR = 0x0010;
inline constexpr uint32_t EV_RLSD = 0x0020;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;

// Line error flags.
inline constexpr uint32_t CE_RXOVER = 0x0001;
inline constexpr uint32_t CE_OVERRUN = 0x0002;
inline constexpr uint32_t CE_RXPARITY = 0x0004;
inline constexpr uint32_t CE_FRAME = 0x0008;
inline constexpr uint32_t CE_BREAK = 0x0010;

// Line control codes for EscapeFunction.
inline constexpr uint32_t SETRTS = 3, CLRRTS = 4, SETDTR = 5, CLRDTR = 6;

enum TAfCoreEvent : uint8_t { ceOutFree = 0, ceLineEvent = 1, ceNeedReadData = 2, ceException = 3 };

enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TAfComPortCore;

// The core's owner callback, called on the event thread only. For ceException, Data is 0 and Error carries
// the exception; the callee owns it from then on.
using TAfCoreEventHandler =
    std::function<void(TAfComPortCore* Sender, TAfCoreEvent Kind, uint32_t Data, std::exception_ptr Error)>;

class EAfComPortCoreError : public Exception {
 public:
  explicit EAfComPortCoreError(const std::string& message) : Exception(message) {}
};

// The device of an open port went away (adapter unplugged, other side of a pseudo-terminal closed). The
// event thread hands it to the owner with ceException; its message is the one the user sees.
class EAfComPortLost : public EAfComPortCoreError {
 public:
  explicit EAfComPortLost(const std::string& message) : EAfComPortCoreError(message) {}
};

// The message of EAfComPortLost for COM<ComNumber>.
std::string LostPortText(int32_t ComNumber);

// What a look at a port found, without touching its settings.
enum class TAfPortCondition : uint8_t {
  Free,          // could be had (and was let go at once)
  OpenHere,      // this program has it open; it was not touched
  InUse,         // another program holds it
  NoPermission,  // the user may not open it
  NotSerial,     // no terminal: a regular file, folder, pipe, /dev/null, a loop of links
  Missing        // no such device
};

// The same finding in the three states of a port list.
enum class TAfPortProbe : uint16_t { Busy = 0, Free = 1, Missing = 2 };

}  // namespace tarnel
