#pragma once

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "common/ByteString.h"
#include "protocol/Packet97.h"

namespace tarnel::bench {

// The baseline the benchmarks hold the exchange against: raw termios, flush, write, poll() until the bytes
// form one valid packet (or 500 ms pass).
inline ByteString PollRoundTrip(int Fd, const ByteString& Request) {
  tcflush(Fd, TCIOFLUSH);
  if (::write(Fd, Request.data(), Request.size()) != static_cast<ssize_t>(Request.size()))
    throw std::runtime_error("write failed");
  ByteString answer;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (CheckPacket97(answer) != 0 && std::chrono::steady_clock::now() < end) {
    pollfd fd{Fd, POLLIN, 0};
    if (::poll(&fd, 1, 50) <= 0) continue;
    char buffer[256];
    const ssize_t count = ::read(Fd, buffer, sizeof buffer);
    if (count > 0) answer.append(buffer, static_cast<size_t>(count));
  }
  return answer;
}

}  // namespace tarnel::bench
