#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace tarnel::test {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point After(int Ms) {
  return Clock::now() + std::chrono::milliseconds(Ms);
}

[[noreturn]] void Fail(const char* What) {
  throw std::runtime_error(std::string(What) + " failed");
}

}  // namespace

ComDir::ComDir() {
  if (const char* previous = std::getenv("TARNEL_COM_DIR")) {
    FPrevious = previous;
    FHadPrevious = true;
  }
  char pattern[] = "/tmp/tarnel-com-XXXXXX";
  if (!mkdtemp(pattern)) Fail("mkdtemp");
  FPath = pattern;
  setenv("TARNEL_COM_DIR", FPath.c_str(), 1);
}

ComDir::~ComDir() {
  for (int n = 1; n <= 255; ++n)
    unlink((FPath + "/COM" + std::to_string(n)).c_str());
  rmdir(FPath.c_str());
  if (FHadPrevious)
    setenv("TARNEL_COM_DIR", FPrevious.c_str(), 1);
  else
    unsetenv("TARNEL_COM_DIR");
}

void ComDir::Link(int ComNumber, const std::string& Target) {
  Unlink(ComNumber);
  if (symlink(Target.c_str(), (FPath + "/COM" + std::to_string(ComNumber)).c_str()) != 0) Fail("symlink");
}

void ComDir::Unlink(int ComNumber) {
  unlink((FPath + "/COM" + std::to_string(ComNumber)).c_str());
}

PtyPair::PtyPair() {
  FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0) Fail("posix_openpt");
  char name[128];
  if (ptsname_r(FMaster, name, sizeof name) != 0) Fail("ptsname");
  FSlavePath = name;
  // Raw from the start, so nothing written before the port opens is echoed or translated.
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) Fail("open slave");
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  close(slave);
}

PtyPair::~PtyPair() {
  CloseMaster();
  if (FNumberHold >= 0) close(FNumberHold);
}

// The kernel removes the slave's node when the master closes but frees its number only when the last slave
// descriptor closes too. When the port under test holds the slave exclusively, its descriptor does this.
void PtyPair::CloseMaster() {
  if (FMaster < 0) return;
  if (FNumberHold < 0) FNumberHold = open(FSlavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  close(FMaster);
  FMaster = -1;
}

bool PtyPair::WriteAll(const std::string& Data, int TimeoutMs) {
  const auto deadline = After(TimeoutMs);
  size_t done = 0;
  while (done < Data.size()) {
    const ssize_t n = write(FMaster, Data.data() + done, Data.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) return false;
    if (Clock::now() > deadline) return false;
    pollfd p{FMaster, POLLOUT, 0};
    if (poll(&p, 1, 10) == 1 && (p.revents & (POLLHUP | POLLERR)))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string PtyPair::ReadAvailable() {
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(FMaster, buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

std::string PtyPair::ReadExactly(size_t Count, int TimeoutMs) {
  const auto deadline = After(TimeoutMs);
  std::string out;
  while (out.size() < Count && Clock::now() < deadline) {
    out += ReadAvailable();
    if (out.size() >= Count) break;
    pollfd p{FMaster, POLLIN, 0};
    // With no slave open the master reports a hang-up at once: wait a little instead of spinning.
    if (poll(&p, 1, 10) == 1 && !(p.revents & POLLIN))
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return out;
}

std::string PtyPair::ReadUntilQuiet(int QuietMs, int TimeoutMs) {
  const auto deadline = After(TimeoutMs);
  std::string out;
  auto quietUntil = After(QuietMs);
  while (Clock::now() < quietUntil && Clock::now() < deadline) {
    const std::string more = ReadAvailable();
    if (!more.empty()) {
      out += more;
      quietUntil = After(QuietMs);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return out;
}

}  // namespace tarnel::test
