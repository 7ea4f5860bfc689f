#include "serial/platform/LineSettings.h"

namespace tarnel::platform {
namespace {

struct SpeedCode {
  uint32_t bits;
  unsigned code;
};
constexpr SpeedCode kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000}};

unsigned SpeedCodeOf(uint32_t Bits) {
  for (const SpeedCode& s : kSpeeds)
    if (s.bits == Bits) return s.code;
  return BOTHER;
}

bool ValidFrame(const DCB& Dcb) {
  if (Dcb.BaudRate == 0 || Dcb.ByteSize < 5 || Dcb.ByteSize > 8 || Dcb.Parity > SPACEPARITY) return false;
  if (Dcb.StopBits > TWOSTOPBITS) return false;
  // One and a half stop bits exist only for 5-bit characters.
  return Dcb.StopBits != ONE5STOPBITS || Dcb.ByteSize == 5;
}

tcflag_t SizeFlag(uint8_t ByteSize) {
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  return kSizes[ByteSize - 5];
}

tcflag_t ParityFlags(uint8_t Parity) {
  switch (Parity) {
    case ODDPARITY:
      return PARENB | PARODD;
    case EVENPARITY:
      return PARENB;
    case MARKPARITY:
      return PARENB | CMSPAR | PARODD;
    case SPACEPARITY:
      return PARENB | CMSPAR;
    default:
      return 0;
  }
}

uint8_t ParityOf(tcflag_t Cflag) {
  if (!(Cflag & PARENB)) return NOPARITY;
  if (Cflag & CMSPAR) return (Cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  return (Cflag & PARODD) ? ODDPARITY : EVENPARITY;
}

uint8_t ByteSizeOf(tcflag_t Cflag) {
  switch (Cflag & CSIZE) {
    case CS5:
      return 5;
    case CS6:
      return 6;
    case CS7:
      return 7;
    default:
      return 8;
  }
}

void SetSpeed(uint32_t Bits, termios2& Settings) {
  Settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));  // input speed follows the output speed
  Settings.c_cflag |= SpeedCodeOf(Bits);
  Settings.c_ispeed = Bits;
  Settings.c_ospeed = Bits;
}

}  // namespace

void MakeRaw(termios2& Settings) {
  Settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                        IMAXBEL | IUCLC | IUTF8);
  Settings.c_oflag &= ~OPOST;
  Settings.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | ICANON | ISIG | IEXTEN);
  Settings.c_cflag |= CLOCAL | CREAD;
  Settings.c_cc[VMIN] = 0;
  Settings.c_cc[VTIME] = 0;
}

bool DcbToTermios(const DCB& Dcb, termios2& Settings) {
  if (!ValidFrame(Dcb)) return false;
  SetSpeed(Dcb.BaudRate, Settings);
  Settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  Settings.c_cflag |= SizeFlag(Dcb.ByteSize) | ParityFlags(Dcb.Parity);
  if (Dcb.StopBits != ONESTOPBIT) Settings.c_cflag |= CSTOPB;
  if (Dcb.Flags & (dcbOutxCtsFlow | dcbRtsControlHandshake)) Settings.c_cflag |= CRTSCTS;
  Settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  if (Dcb.Flags & dcbOutX) Settings.c_iflag |= IXON;
  if (Dcb.Flags & dcbInX) Settings.c_iflag |= IXOFF;
  if (Dcb.Flags & dcbParity) Settings.c_iflag |= INPCK;
  Settings.c_cc[VSTART] = static_cast<cc_t>(Dcb.XonChar);
  Settings.c_cc[VSTOP] = static_cast<cc_t>(Dcb.XoffChar);
  return true;
}

uint32_t TermiosSpeed(const termios2& Settings) {
  const unsigned code = Settings.c_cflag & CBAUD;
  if (code == BOTHER) return Settings.c_ospeed;
  for (const SpeedCode& s : kSpeeds)
    if (s.code == code) return s.bits;
  return Settings.c_ospeed;
}

void TermiosToDcb(const termios2& Settings, DCB& Dcb) {
  Dcb.DCBlength = sizeof(DCB);
  Dcb.BaudRate = TermiosSpeed(Settings);
  Dcb.ByteSize = ByteSizeOf(Settings.c_cflag);
  Dcb.Parity = ParityOf(Settings.c_cflag);
  Dcb.StopBits = (Settings.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
  Dcb.Flags &= ~(dcbOutxCtsFlow | dcbRtsControlHandshake | dcbOutX | dcbInX | dcbParity);
  Dcb.Flags |= dcbBinary;
  if (Settings.c_cflag & CRTSCTS) {
    Dcb.Flags &= ~dcbRtsControlEnable;
    Dcb.Flags |= dcbOutxCtsFlow | dcbRtsControlHandshake;
  }
  if (Settings.c_iflag & IXON) Dcb.Flags |= dcbOutX;
  if (Settings.c_iflag & IXOFF) Dcb.Flags |= dcbInX;
  if (Settings.c_iflag & INPCK) Dcb.Flags |= dcbParity;
  Dcb.XonChar = static_cast<char>(Settings.c_cc[VSTART]);
  Dcb.XoffChar = static_cast<char>(Settings.c_cc[VSTOP]);
}

}  // namespace tarnel::platform
