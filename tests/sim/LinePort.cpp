// termios2 through the platform's line settings, so the speed table is the one the port core uses; the
// kernel's declarations rule out <termios.h> here.
#include "LinePort.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "serial/platform/LineSettings.h"

namespace tarnel::test {

TLinePort::TLinePort(const std::string& Path, int Speed) {
  FFd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (FFd < 0) throw std::runtime_error("cannot open " + Path + ": " + std::strerror(errno));
  SetSpeed(Speed);
  ioctl(FFd, TCFLSH, TCIOFLUSH);
}

TLinePort::~TLinePort() {
  Close();
}

void TLinePort::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

void TLinePort::SetSpeed(int Speed) {
  termios2 settings{};
  if (ioctl(FFd, TCGETS2, &settings) != 0) throw std::runtime_error("TCGETS2 failed");
  platform::MakeRaw(settings);
  DCB frame{};
  frame.BaudRate = static_cast<uint32_t>(Speed);
  frame.ByteSize = 8;
  frame.Flags = dcbBinary;
  if (Speed <= 0 || !platform::DcbToTermios(frame, settings))
    throw std::invalid_argument("no line speed " + std::to_string(Speed));
  settings.c_cflag |= CLOCAL | CREAD;
  if (ioctl(FFd, TCSETS2, &settings) != 0) throw std::runtime_error("TCSETS2 failed");
}

void TLinePort::Write(const ByteString& Bytes) {
  if (::write(FFd, Bytes.data(), Bytes.size()) != static_cast<ssize_t>(Bytes.size()))
    throw std::runtime_error("short write to the line");
}

std::vector<TArrival> TLinePort::Collect(std::chrono::milliseconds Quiet, std::chrono::milliseconds Limit,
                                         std::chrono::milliseconds FirstWait) {
  using Clock = std::chrono::steady_clock;
  std::vector<TArrival> arrivals;
  const Clock::time_point end = Clock::now() + Limit;
  Clock::time_point quietEnd = Clock::now() + std::max(Quiet, FirstWait);
  for (;;) {
    const Clock::time_point now = Clock::now();
    const Clock::time_point until = std::min(end, quietEnd);
    if (now >= until) return arrivals;
    pollfd fd{FFd, POLLIN, 0};
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
    if (::poll(&fd, 1, static_cast<int>(wait)) <= 0 || !(fd.revents & POLLIN)) continue;
    char buffer[4096];
    const ssize_t count = ::read(FFd, buffer, sizeof buffer);
    if (count <= 0) continue;
    arrivals.push_back({Clock::now(), ByteString(buffer, static_cast<size_t>(count))});
    quietEnd = Clock::now() + Quiet;
  }
}

ByteString TLinePort::Exchange(const ByteString& Request, std::chrono::milliseconds Quiet) {
  Write(Request);
  return Joined(Collect(Quiet, std::chrono::milliseconds(3000), std::chrono::milliseconds(1000)));
}

ByteString Joined(const std::vector<TArrival>& Arrivals) {
  ByteString bytes;
  for (const TArrival& arrival : Arrivals)
    bytes += arrival.Bytes;
  return bytes;
}

}  // namespace tarnel::test
