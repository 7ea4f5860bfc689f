#include "LinePort.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tarnel::test {

namespace {

speed_t SpeedCode(int Speed) {
  switch (Speed) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      throw std::invalid_argument("no termios code for " + std::to_string(Speed));
  }
}

}  // namespace

TLinePort::TLinePort(const std::string& Path, int Speed) {
  FFd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (FFd < 0) throw std::runtime_error("cannot open " + Path + ": " + std::strerror(errno));
  SetSpeed(Speed);
  tcflush(FFd, TCIOFLUSH);
}

TLinePort::~TLinePort() {
  Close();
}

void TLinePort::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

void TLinePort::SetSpeed(int Speed) {
  termios settings{};
  tcgetattr(FFd, &settings);
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&settings, SpeedCode(Speed));
  cfsetospeed(&settings, SpeedCode(Speed));
  if (tcsetattr(FFd, TCSANOW, &settings) != 0) throw std::runtime_error("tcsetattr failed");
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
