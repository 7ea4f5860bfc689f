// The port core on a pseudo-terminal, each figure beside a baseline measured in the same run:
//  - write throughput through the core (ring and write thread) against plain write() on a raw terminal;
//  - processor time of an open idle port, and of one with an unread byte waiting, over 10 s each;
//  - delay from a byte arriving to GetQueueStatus seeing it, against FIONREAD on a raw terminal.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PtyPair.h"
#include "serial/AfComPortCore.h"

namespace {

using namespace tarnel;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr size_t kThroughputBytes = 16u << 20;
constexpr int kThroughputRounds = 5;  // alternating, so load from elsewhere hits every contender alike
constexpr size_t kPiece = 1024;
constexpr int kLatencyRounds = 300;

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

double Seconds(Clock::duration Span) {
  return std::chrono::duration<double>(Span).count();
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

DCB LineDcb() {
  DCB d{};
  d.DCBlength = sizeof(DCB);
  d.BaudRate = 115200;
  d.ByteSize = 8;
  d.Flags = dcbBinary;
  return d;
}

int OpenRaw(const std::string& Path) {
  const int fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// Reads the master side until Total bytes have come; returns when they did.
std::thread Drain(int Master, size_t Total, Clock::time_point& Done) {
  return std::thread([Master, Total, &Done] {
    std::vector<char> buffer(1 << 16);
    size_t got = 0;
    while (got < Total) {
      pollfd p{Master, POLLIN, 0};
      poll(&p, 1, 100);
      const ssize_t n = read(Master, buffer.data(), buffer.size());
      if (n > 0) got += static_cast<size_t>(n);
    }
    Done = Clock::now();
  });
}

double PlainWriteRate(test::PtyPair& Pty) {
  const int fd = OpenRaw(Pty.SlavePath());
  const std::string piece(kPiece, 'w');
  Clock::time_point done;
  const auto start = Clock::now();
  std::thread reader = Drain(Pty.Master(), kThroughputBytes, done);
  for (size_t sent = 0; sent < kThroughputBytes;) {
    const ssize_t n = write(fd, piece.data(), kPiece);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    pollfd p{fd, POLLOUT, 0};
    poll(&p, 1, 100);
  }
  reader.join();
  close(fd);
  return kThroughputBytes / Seconds(done - start);
}

// Free room in the ring, as the owner learns of it: ceOutFree when everything queued has gone out.
struct OutFreeSignal {
  std::mutex Lock;
  std::condition_variable Signal;
  bool Free = false;

  void Raise() {
    std::lock_guard lock(Lock);
    Free = true;
    Signal.notify_one();
  }
  void Wait() {
    std::unique_lock lock(Lock);
    Signal.wait_for(lock, 1ms, [this] { return Free; });
    Free = false;
  }
};

// The sender queues pieces and, when the ring is full, waits for the core to report the drain.
double CoreWriteRate(test::PtyPair& Pty, TAfComPortCore& Core, OutFreeSignal& OutFree) {
  const std::string piece(kPiece, 'c');
  Clock::time_point done;
  const auto start = Clock::now();
  std::thread reader = Drain(Pty.Master(), kThroughputBytes, done);
  for (size_t sent = 0; sent < kThroughputBytes;) {
    if (Core.WriteBytes(piece.data(), kPiece))
      sent += kPiece;
    else
      OutFree.Wait();
  }
  reader.join();
  return kThroughputBytes / Seconds(done - start);
}

double CpuShareOver(std::chrono::seconds Span) {
  const double cpu = ProcessCpuSeconds();
  const auto start = Clock::now();
  std::this_thread::sleep_for(Span);
  return (ProcessCpuSeconds() - cpu) / Seconds(Clock::now() - start);
}

// Microseconds from writing one byte on the master to Sees() reporting it.
template <class TSees, class TTake>
double ArrivalDelayUs(test::PtyPair& Pty, TSees Sees, TTake Take) {
  std::vector<double> delays;
  for (int round = 0; round < kLatencyRounds; ++round) {
    const auto start = Clock::now();
    if (write(Pty.Master(), "x", 1) != 1) continue;
    while (!Sees()) {
    }
    delays.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    Take();
    std::this_thread::sleep_for(1ms);
  }
  return Median(delays);
}

}  // namespace

int main() {
  test::PtyPort port(1);
  TAfComPortCore core;
  std::atomic<int> events{0};
  OutFreeSignal outFree;
  core.OnCoreEvent = [&](TAfComPortCore*, TAfCoreEvent Kind, uint32_t, std::exception_ptr) {
    ++events;
    if (Kind == ceOutFree) outFree.Raise();
  };
  core.ConfigureLine(LineDcb());

  test::PtyPair plain;
  std::vector<double> plainRates, smallRingRates, largeRingRates;
  for (int round = 0; round < kThroughputRounds; ++round) {
    plainRates.push_back(PlainWriteRate(plain));
    for (int32_t ring : {4096, 65536}) {
      core.SetOutQueueSize(ring);
      if (!core.OpenPort(port.ComNumber())) return 1;
      (ring == 4096 ? smallRingRates : largeRingRates).push_back(CoreWriteRate(port.Pty(), core, outFree));
      core.ClosePort();
    }
  }
  const double plainRate = Median(plainRates);
  for (int32_t ring : {4096, 65536}) {
    const double coreRate = Median(ring == 4096 ? smallRingRates : largeRingRates);
    std::printf(
        "write throughput, %zu-byte pieces, %d-byte ring: core %.1f MB/s, plain write() %.1f MB/s, "
        "ratio %.2f (target >= 0.8; medians of %d rounds)\n",
        kPiece, ring, coreRate / 1e6, plainRate / 1e6, coreRate / plainRate, kThroughputRounds);
  }
  core.SetOutQueueSize(4096);
  if (!core.OpenPort(port.ComNumber())) return 1;
  std::this_thread::sleep_for(500ms);
  const double idle = CpuShareOver(10s);
  std::printf("open idle port: %.3f %% of one core over 10 s (target <= 0.2 %%)\n", idle * 100);
  if (write(port.Pty().Master(), "u", 1) != 1) return 1;
  std::this_thread::sleep_for(300ms);
  const int before = events;
  const double unread = CpuShareOver(10s);
  std::printf(
      "one unread byte waiting: %.3f %% of one core over 10 s, %d owner events (one per 200 ms poll)\n",
      unread * 100, events - before);
  char sink[64];
  core.ReadBytes(sink, sizeof sink);

  COMSTAT stat;
  const double coreDelay = ArrivalDelayUs(
      port.Pty(), [&] { return core.GetQueueStatus(stat), stat.cbInQue > 0; },
      [&] { core.ReadBytes(sink, sizeof sink); });
  const int fd = OpenRaw(plain.SlavePath());
  const double plainDelay = ArrivalDelayUs(
      plain,
      [&] {
        int n = 0;
        return ioctl(fd, FIONREAD, &n) == 0 && n > 0;
      },
      [&] { [[maybe_unused]] ssize_t n = read(fd, sink, sizeof sink); });
  close(fd);
  std::printf(
      "byte arrival to GetQueueStatus: median %.1f us (target < 1000 us); FIONREAD on a raw "
      "terminal: median %.1f us; ratio %.2f\n",
      coreDelay, plainDelay, coreDelay / plainDelay);
  core.ClosePort();
  return 0;
}
