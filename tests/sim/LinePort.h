#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "common/ByteString.h"

namespace tarnel::test {

// One read from the line and when it came.
struct TArrival {
  std::chrono::steady_clock::time_point At;
  ByteString Bytes;
};

// The tool's side of a simulated line, driven with plain termios: open the COM link at a speed, write,
// and collect what comes back.
class TLinePort {
 public:
  TLinePort(const std::string& Path, int Speed);
  ~TLinePort();
  TLinePort(const TLinePort&) = delete;
  TLinePort& operator=(const TLinePort&) = delete;

  void SetSpeed(int Speed);
  void Write(const ByteString& Bytes);
  // Every arrival until the line has been quiet for Quiet after an arrival (FirstWait before the first one,
  // by default Quiet too), or Limit has passed.
  std::vector<TArrival> Collect(std::chrono::milliseconds Quiet, std::chrono::milliseconds Limit,
                                std::chrono::milliseconds FirstWait = std::chrono::milliseconds(0));
  // Write, then Collect joined; the first byte may take up to a second on a busy machine.
  ByteString Exchange(const ByteString& Request,
                      std::chrono::milliseconds Quiet = std::chrono::milliseconds(150));
  void Close();

 private:
  int FFd = -1;
};

ByteString Joined(const std::vector<TArrival>& Arrivals);

}  // namespace tarnel::test
