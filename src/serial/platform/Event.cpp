#include "serial/platform/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

namespace tarnel::platform {

short Waitable::PollEvents() const {
  return POLLIN;
}

Event::Event(Kind ResetKind, bool InitiallySet)
    : FHandle(eventfd(InitiallySet ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC)), FKind(ResetKind) {
  if (FHandle < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

Event::~Event() {
  close(PollFd());
}

void Event::Set() {
  const uint64_t one = 1;
  // Fails only when the counter is saturated, which means it is set anyway.
  [[maybe_unused]] ssize_t n = write(PollFd(), &one, sizeof one);
}

void Event::Reset() {
  uint64_t value;
  [[maybe_unused]] ssize_t n = read(PollFd(), &value, sizeof value);
}

bool Event::IsSet() const {
  pollfd p{PollFd(), POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

bool Event::TryAcquire() {
  if (FKind == Kind::ManualReset) return IsSet();
  uint64_t value;
  return read(PollFd(), &value, sizeof value) == sizeof value;
}

bool Event::Wait(int TimeoutMs) {
  return WaitAny({this}, TimeoutMs) == 0;
}

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point Deadline, int TimeoutMs) {
  if (TimeoutMs < 0) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

int WaitAny(std::initializer_list<Waitable*> Items, int TimeoutMs) {
  constexpr size_t kMaxItems = 8;
  pollfd fds[kMaxItems];
  const size_t count = Items.size() < kMaxItems ? Items.size() : kMaxItems;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs < 0 ? 0 : TimeoutMs);
  for (;;) {
    size_t i = 0;
    for (Waitable* item : Items) {
      if (i == count) break;
      fds[i++] = pollfd{static_cast<int>(item->WaitHandle()), item->PollEvents(), 0};
    }
    const int timeout = Remaining(deadline, TimeoutMs);
    const int ready = poll(fds, count, timeout);
    // A poll refused for want of memory is tried again shortly, never at once in a loop.
    if (ready < 0 && errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (ready > 0) {
      i = 0;
      for (Waitable* item : Items) {
        if (i == count) break;
        if (fds[i].revents != 0 && item->TryAcquire()) return static_cast<int>(i);
        ++i;
      }
    }
    // Nothing taken: another waiter consumed the signal, or a signal interrupted the poll.
    if (timeout == 0) return kWaitTimeout;
  }
}

}  // namespace tarnel::platform
