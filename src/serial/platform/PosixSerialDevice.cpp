#include "serial/platform/PosixSerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "serial/platform/ComNames.h"
#include "serial/platform/LineSettings.h"

namespace tarnel::platform {
namespace {

static_assert(POLLIN == 0x001 && POLLOUT == 0x004, "FdWaitable masks");

bool MeansGone(int Error) {
  return Error == EIO || Error == ENXIO || Error == ENODEV;
}

// Errors of a driver that simply has no such feature (a pseudo-terminal has no modem lines).
bool MeansUnsupported(int Error) {
  return Error == ENOTTY || Error == EINVAL;
}

// A driver that cannot run at the asked speed keeps its nearest; more than this off counts as refused.
bool SpeedClose(uint32_t Asked, uint32_t Got) {
  const double diff = Asked > Got ? Asked - Got : Got - Asked;
  return diff <= Asked * 0.03;
}

uint32_t CountErrors(const serial_icounter_struct& Now, const serial_icounter_struct& Before) {
  uint32_t errors = 0;
  if (Now.frame != Before.frame) errors |= CE_FRAME;
  if (Now.overrun != Before.overrun) errors |= CE_OVERRUN;
  if (Now.parity != Before.parity) errors |= CE_RXPARITY;
  if (Now.brk != Before.brk) errors |= CE_BREAK;
  if (Now.buf_overrun != Before.buf_overrun) errors |= CE_RXOVER;
  return errors;
}

}  // namespace

PosixSerialDevice::PosixSerialDevice() = default;

PosixSerialDevice::~PosixSerialDevice() {
  Close();
}

TOpenResult PosixSerialDevice::Open(int ComNumber) {
  if (FFd >= 0) {
    FOpenFailure = "The port is open already.";
    return TOpenResult::Failed;
  }
  TComOpen opened = OpenComDevice(ComNumber);
  FOpenFailure = std::move(opened.Reason);
  if (opened.Result != TOpenResult::Opened) return opened.Result;
  FFd = opened.Fd;
  FGone = false;
  if (!Prepare()) {
    FOpenFailure =
        std::string("The device could not be set up as a serial port (") + std::strerror(errno) + ").";
    Close();
    return TOpenResult::Failed;
  }
  return TOpenResult::Opened;
}

// Exclusive use, low latency, raw mode at once, and the edge-triggered watch on received data.
bool PosixSerialDevice::Prepare() {
  if (ioctl(FFd, TIOCEXCL) != 0 && !MeansUnsupported(errno)) return false;
  serial_struct info{};
  if (ioctl(FFd, TIOCGSERIAL, &info) == 0) {
    info.flags |= ASYNC_LOW_LATENCY;
    ioctl(FFd, TIOCSSERIAL, &info);  // a driver without it still works, only slower to report
  }
  termios2 settings{};
  if (ioctl(FFd, TCGETS2, &settings) != 0) return false;
  MakeRaw(settings);
  if (ioctl(FFd, TCSETS2, &settings) != 0) return false;
  FEpoll = epoll_create1(EPOLL_CLOEXEC);
  if (FEpoll < 0) return false;
  epoll_event watch{};
  watch.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
  if (epoll_ctl(FEpoll, EPOLL_CTL_ADD, FFd, &watch) != 0) return false;
  FLineSource.SetFd(FEpoll);
  FWriteSource.SetFd(FFd);
  std::lock_guard lock(FStateLock);
  FApplied = DCB{};
  FApplied.Flags = dcbDtrControlEnable | dcbRtsControlEnable;
  TermiosToDcb(settings, FApplied);
  FHasModemLines = true;
  FHasCounters = true;
  TakeBaselines();
  return true;
}

bool PosixSerialDevice::Close() {
  if (FFd < 0) return true;
  ioctl(FFd, TIOCNXCL);
  if (FEpoll >= 0) close(FEpoll);
  FEpoll = -1;
  FLineSource.SetFd(-1);
  FWriteSource.SetFd(-1);
  const bool closed = CloseComDevice(FFd);
  FFd = -1;
  FEventMask = 0;
  return closed;
}

bool PosixSerialDevice::Failed(int Error) {
  if (MeansGone(Error)) MarkGone();
  return false;
}

// Stops watching a device that went away: its descriptor would otherwise report a hang-up for ever.
void PosixSerialDevice::MarkGone() {
  if (FGone.exchange(true)) return;
  if (FEpoll >= 0) epoll_ctl(FEpoll, EPOLL_CTL_DEL, FFd, nullptr);
}

bool PosixSerialDevice::SetReadsReturnAtOnce() {
  termios2 settings{};
  if (FFd < 0 || ioctl(FFd, TCGETS2, &settings) != 0) return Failed(errno);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  return ioctl(FFd, TCSETS2, &settings) == 0 || Failed(errno);
}

// The kernel sizes its own queues; only sizes no queue can have are refused.
bool PosixSerialDevice::SetQueueSizes(int32_t InSize, int32_t OutSize) {
  return FFd >= 0 && InSize > 0 && OutSize > 0;
}

bool PosixSerialDevice::SetEventMask(uint32_t Mask) {
  if (FFd < 0) return false;
  std::lock_guard lock(FStateLock);
  if (Mask != 0 && FEventMask.load() == 0) TakeBaselines();
  FEventMask = Mask;
  return true;
}

bool PosixSerialDevice::ApplyLineSettings(const DCB& Dcb) {
  termios2 old{};
  if (FFd < 0 || ioctl(FFd, TCGETS2, &old) != 0) return Failed(errno);
  termios2 next = old;
  MakeRaw(next);
  if (!DcbToTermios(Dcb, next)) return false;
  if (ioctl(FFd, TCSETS2, &next) != 0) {
    const int error = errno;
    ioctl(FFd, TCSETS2, &old);
    return Failed(error);
  }
  termios2 got{};
  if (ioctl(FFd, TCGETS2, &got) != 0 || !SpeedClose(Dcb.BaudRate, TermiosSpeed(got))) {
    ioctl(FFd, TCSETS2, &old);
    return false;
  }
  SetModemLine(TIOCM_DTR, (Dcb.Flags & (dcbDtrControlEnable | dcbDtrControlHandshake)) != 0);
  if (!(got.c_cflag & CRTSCTS)) SetModemLine(TIOCM_RTS, (Dcb.Flags & dcbRtsControlEnable) != 0);
  std::lock_guard lock(FStateLock);
  FApplied = Dcb;
  return true;
}

void PosixSerialDevice::SetModemLine(int Line, bool Raised) {
  if (ioctl(FFd, Raised ? TIOCMBIS : TIOCMBIC, &Line) != 0) Failed(errno);
}

bool PosixSerialDevice::ReadLineSettings(DCB& Dcb) {
  termios2 settings{};
  if (FFd < 0 || ioctl(FFd, TCGETS2, &settings) != 0) return Failed(errno);
  int lines = 0;
  const bool haveLines = ModemLines(lines);
  std::lock_guard lock(FStateLock);
  Dcb = FApplied;
  TermiosToDcb(settings, Dcb);
  if (!haveLines) return true;
  Dcb.Flags &= ~dcbDtrControlEnable;
  if ((lines & TIOCM_DTR) && !(Dcb.Flags & dcbDtrControlHandshake)) Dcb.Flags |= dcbDtrControlEnable;
  if (!(settings.c_cflag & CRTSCTS)) {
    Dcb.Flags &= ~dcbRtsControlEnable;
    if (lines & TIOCM_RTS) Dcb.Flags |= dcbRtsControlEnable;
  }
  return true;
}

// A query the driver may not have: once it says it has none, the query is not asked again.
bool PosixSerialDevice::OptionalQuery(bool& Supported, unsigned long Request, void* Result) {
  {
    std::lock_guard lock(FStateLock);
    if (!Supported) return false;
  }
  if (FFd >= 0 && !FGone && ioctl(FFd, Request, Result) == 0) return true;
  const int error = errno;
  if (MeansUnsupported(error)) {
    std::lock_guard lock(FStateLock);
    Supported = false;
  }
  return Failed(error);
}

bool PosixSerialDevice::ModemLines(int& Lines) {
  return OptionalQuery(FHasModemLines, TIOCMGET, &Lines);
}

bool PosixSerialDevice::Counters(serial_icounter_struct& Counts) {
  return OptionalQuery(FHasCounters, TIOCGICOUNT, &Counts);
}

// Called with FStateLock held.
void PosixSerialDevice::TakeBaselines() {
  if (FHasModemLines && ioctl(FFd, TIOCMGET, &FModemBaseline) != 0 && MeansUnsupported(errno))
    FHasModemLines = false;
  serial_icounter_struct counts{};
  if (FHasCounters && ioctl(FFd, TIOCGICOUNT, &counts) != 0 && MeansUnsupported(errno)) FHasCounters = false;
  FEventCounts = counts;
  FErrorCounts = counts;
}

uint32_t PosixSerialDevice::ModemEvents() {
  int lines = 0;
  if (!ModemLines(lines)) return 0;
  std::lock_guard lock(FStateLock);
  const int changed = lines ^ FModemBaseline;
  FModemBaseline = lines;
  uint32_t events = 0;
  if (changed & TIOCM_CTS) events |= EV_CTS;
  if (changed & TIOCM_DSR) events |= EV_DSR;
  if (changed & TIOCM_CD) events |= EV_RLSD;
  if ((changed & TIOCM_RI) && (lines & TIOCM_RI)) events |= EV_RING;
  return events;
}

uint32_t PosixSerialDevice::ErrorEvents() {
  serial_icounter_struct counts{};
  if (!Counters(counts)) return 0;
  std::lock_guard lock(FStateLock);
  const uint32_t errors = CountErrors(counts, FEventCounts);
  FEventCounts = counts;
  uint32_t events = 0;
  if (errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER)) events |= EV_ERR;
  if (errors & CE_BREAK) events |= EV_BREAK;
  return events;
}

uint32_t PosixSerialDevice::TakeLineEvents() {
  if (FFd < 0 || FGone) return 0;
  uint32_t events = 0;
  epoll_event ready[4];
  const int count = epoll_wait(FEpoll, ready, 4, 0);
  for (int i = 0; i < count; ++i) {
    if (ready[i].events & (EPOLLHUP | EPOLLERR | EPOLLRDHUP)) MarkGone();
    if (ready[i].events & EPOLLIN) events |= EV_RXCHAR;
  }
  if (FGone) return 0;
  const uint32_t mask = FEventMask;
  if (mask == 0) return 0;
  events |= ModemEvents() | ErrorEvents();
  return events & mask;
}

int32_t PosixSerialDevice::Read(void* Buffer, int32_t Count) {
  if (FFd < 0 || Count <= 0) return Count == 0 ? 0 : -1;
  if (FGone) return 0;
  const ssize_t n = read(FFd, Buffer, static_cast<size_t>(Count));
  if (n >= 0) return static_cast<int32_t>(n);
  if (errno == EAGAIN || errno == EINTR) return 0;
  const int error = errno;
  Failed(error);
  return MeansGone(error) ? 0 : -1;
}

int32_t PosixSerialDevice::Write(const void* Buffer, int32_t Count) {
  if (FFd < 0 || FGone || Count < 0) return -1;
  const ssize_t n = write(FFd, Buffer, static_cast<size_t>(Count));
  if (n >= 0) return static_cast<int32_t>(n);
  if (errno == EAGAIN || errno == EINTR) return 0;
  Failed(errno);
  return -1;
}

bool PosixSerialDevice::ClearErrors(uint32_t& Errors, COMSTAT& Stat) {
  Errors = 0;
  Stat = COMSTAT{};
  if (FFd < 0 || FGone) return false;
  int inQueue = 0;
  int outQueue = 0;
  if (ioctl(FFd, FIONREAD, &inQueue) != 0) return Failed(errno);
  if (ioctl(FFd, TIOCOUTQ, &outQueue) != 0) return Failed(errno);
  Stat.cbInQue = static_cast<uint32_t>(inQueue);
  Stat.cbOutQue = static_cast<uint32_t>(outQueue);
  serial_icounter_struct counts{};
  if (Counters(counts)) {
    std::lock_guard lock(FStateLock);
    Errors = CountErrors(counts, FErrorCounts);
    FErrorCounts = counts;
  }
  Stat.Flags = Errors;
  return true;
}

bool PosixSerialDevice::Purge(uint32_t Flags) {
  if (FFd < 0) return false;
  const bool out = Flags & (PURGE_TXABORT | PURGE_TXCLEAR);
  const bool in = Flags & (PURGE_RXABORT | PURGE_RXCLEAR);
  if (!out && !in) return true;
  const int queue = out && in ? TCIOFLUSH : (out ? TCOFLUSH : TCIFLUSH);
  return ioctl(FFd, TCFLSH, queue) == 0 || Failed(errno);
}

bool PosixSerialDevice::Escape(uint32_t Function) {
  if (FFd < 0 || FGone) return false;
  int line = 0;
  unsigned long request = 0;
  switch (Function) {
    case SETRTS:
      request = TIOCMBIS, line = TIOCM_RTS;
      break;
    case CLRRTS:
      request = TIOCMBIC, line = TIOCM_RTS;
      break;
    case SETDTR:
      request = TIOCMBIS, line = TIOCM_DTR;
      break;
    case CLRDTR:
      request = TIOCMBIC, line = TIOCM_DTR;
      break;
    case SETBREAK:
      return ioctl(FFd, TIOCSBRK) == 0 || Failed(errno);
    case CLRBREAK:
      return ioctl(FFd, TIOCCBRK) == 0 || Failed(errno);
    case SETXOFF:
      return ioctl(FFd, TCXONC, TCOOFF) == 0 || Failed(errno);
    case SETXON:
      return ioctl(FFd, TCXONC, TCOON) == 0 || Failed(errno);
    default:
      return false;
  }
  return ioctl(FFd, request, &line) == 0 || Failed(errno);
}

std::unique_ptr<SerialDevice> CreateSerialDevice() {
  return std::make_unique<PosixSerialDevice>();
}

}  // namespace tarnel::platform
