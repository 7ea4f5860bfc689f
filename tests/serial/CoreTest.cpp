#include <asm/termbits.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "serial/AfComPortCore.h"
#include "serial/AfSafeSync.h"
#include "support/PtyPair.h"
#include "support/UiThreadWait.h"
#include "support/Watchdog.h"

namespace tarnel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::MsSince;

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

int EntriesIn(const char* Dir) {
  int count = 0;
  if (DIR* d = opendir(Dir)) {
    while (readdir(d))
      ++count;
    closedir(d);
  }
  return count;
}

// A joined thread can stay listed for a moment after the join returns, while the kernel reaps it.
int SettledEntriesIn(const char* Dir, int Expected) {
  const auto until = Clock::now() + 2s;
  int count = EntriesIn(Dir);
  while (count != Expected && Clock::now() < until) {
    std::this_thread::sleep_for(5ms);
    count = EntriesIn(Dir);
  }
  return count;
}

DCB LineDcb(uint32_t Baud) {
  DCB d{};
  d.DCBlength = sizeof(DCB);
  d.BaudRate = Baud;
  d.ByteSize = 8;
  d.Flags = dcbBinary | dcbDtrControlEnable | dcbRtsControlEnable;
  d.XonChar = 0x11;
  d.XoffChar = 0x13;
  return d;
}

std::string Message(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EAfComPortCoreError& e) {
    return e.what();
  }
  return "no error";
}

// Everything the core reported to its owner, with the thread it came on.
class EventLog {
 public:
  struct Entry {
    TAfCoreEvent Kind;
    uint32_t Data;
    std::exception_ptr Error;
    std::thread::id Thread;
  };

  void Add(TAfCoreEvent Kind, uint32_t Data, std::exception_ptr Error) {
    std::lock_guard lock(FLock);
    FEntries.push_back({Kind, Data, Error, std::this_thread::get_id()});
  }
  std::vector<Entry> Entries() {
    std::lock_guard lock(FLock);
    return FEntries;
  }
  int Count(const std::function<bool(const Entry&)>& Match) {
    int n = 0;
    for (const Entry& e : Entries())
      n += Match(e) ? 1 : 0;
    return n;
  }
  int Count(TAfCoreEvent Kind) {
    return Count([Kind](const Entry& e) { return e.Kind == Kind; });
  }
  int CharacterEvents() {
    return Count([](const Entry& e) { return e.Kind == ceLineEvent && (e.Data & EV_RXCHAR); });
  }
  bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (!Done()) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(2ms);
    }
    return true;
  }

 private:
  std::mutex FLock;
  std::vector<Entry> FEntries;
};

// Closes the port when a test body ends, before the locals its callback uses go away.
struct ClosedAtEnd {
  TAfComPortCore& Core;
  ~ClosedAtEnd() { Core.ClosePort(); }
};

class CoreTest : public ::testing::Test {
 protected:
  // The core comes last so it is closed before what its callback uses goes away.
  test::PtyPort port{1};
  EventLog log;
  std::function<void(TAfCoreEvent, uint32_t)> extra;  // more work for the callback, set before opening
  TAfComPortCore core;

  void SetUp() override {
    core.OnCoreEvent = [this](TAfComPortCore* Sender, TAfCoreEvent Kind, uint32_t Data,
                              std::exception_ptr E) {
      EXPECT_EQ(Sender, &core);
      log.Add(Kind, Data, E);
      if (extra) extra(Kind, Data);
    };
    core.ConfigureLine(LineDcb(9600));
  }

  termios2 Slave() {
    termios2 t{};
    EXPECT_EQ(ioctl(port.Pty().Master(), TCGETS2, &t), 0);
    return t;
  }

  std::string ReadFromCore(size_t Count, int TimeoutMs = 5000) {
    std::string out;
    char buffer[4096];
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (out.size() < Count && Clock::now() < deadline) {
      const int32_t n = core.ReadBytes(buffer, sizeof buffer);
      if (n > 0)
        out.append(buffer, n);
      else
        std::this_thread::sleep_for(1ms);
    }
    return out;
  }

  // Queues all of Data, waiting while the ring is full.
  bool WriteThroughCore(const std::string& Data, std::mt19937* Random = nullptr, int TimeoutMs = 20000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
    size_t done = 0;
    while (done < Data.size()) {
      size_t piece = Random ? (*Random)() % 3000 + 1 : Data.size() - done;
      piece = std::min(piece, Data.size() - done);
      piece = std::min<size_t>(piece, core.OutQueueSize());
      if (core.WriteBytes(Data.data() + done, static_cast<int32_t>(piece)))
        done += piece;
      else if (Clock::now() > deadline)
        return false;
      else
        std::this_thread::sleep_for(100us);
    }
    return true;
  }
};

// ---------------------------------------------------------------------------------------------------------
// Opening and closing

TEST_F(CoreTest, OpensByNumberAndClosesAgain) {
  ASSERT_TRUE(core.OpenPort(1));
  EXPECT_TRUE(core.IsOpen());
  EXPECT_TRUE(core.IsActive());
  EXPECT_GE(core.Handle(), 0);
  EXPECT_EQ(core.PortNumber(), 1);
  EXPECT_FALSE(core.OpenPort(1)) << "already open";
  EXPECT_TRUE(core.IsOpen());
  core.ClosePort();
  EXPECT_FALSE(core.IsOpen());
  EXPECT_FALSE(core.IsActive());
  EXPECT_EQ(core.Handle(), -1);
  core.ClosePort();
  ASSERT_TRUE(core.OpenPort(1)) << "a core opens any number of times";
}

// The system's text stays the first line; the reason follows on the next.
TEST_F(CoreTest, NumbersWithoutADeviceAreInvalid) {
  EXPECT_EQ(Message([&] { core.OpenPort(200); }), "Invalid port number (COM200)\nThe folder \"" +
                                                      port.Dir().Path() +
                                                      "\" named by TARNEL_COM_DIR has no entry COM200.");
  port.Dir().Link(5, "/dev/tarnel-no-such-device");
  EXPECT_EQ(
      Message([&] { core.OpenPort(5); }),
      "Invalid port number (COM5)\n" + port.Dir().Path() +
          "/COM5 leads to /dev/tarnel-no-such-device, which does not exist (is the adapter plugged in?).");
  EXPECT_EQ(Message([&] { core.OpenPort(0); }), "Invalid port number (COM0)");
  EXPECT_EQ(Message([&] { core.OpenPort(-3); }), "Invalid port number (COM-3)");
  EXPECT_FALSE(core.IsOpen());
  EXPECT_EQ(core.Handle(), -1);
}

TEST_F(CoreTest, APortHeldByAnotherCoreCannotBeOpened) {
  ASSERT_TRUE(core.OpenPort(1));
  TAfComPortCore other;
  other.ConfigureLine(LineDcb(9600));
  EXPECT_EQ(Message([&] { other.OpenPort(1); }), "Can't open device COM1.\n" + port.Pty().SlavePath() +
                                                     " is already open in this program (process " +
                                                     std::to_string(getpid()) + ").");
  EXPECT_FALSE(other.IsOpen());
  core.ClosePort();
  EXPECT_TRUE(other.OpenPort(1));
}

TEST_F(CoreTest, RejectedSettingsOnOpenCloseThePortAndReloadTheDcb) {
  core.ConfigureLine(LineDcb(19200));
  ASSERT_TRUE(core.OpenPort(1));
  core.ClosePort();
  DCB bad = LineDcb(57600);
  bad.ByteSize = 4;
  core.ConfigureLine(bad);
  EXPECT_EQ(Message([&] { core.OpenPort(1); }), "Error setting parameters from DCB");
  EXPECT_FALSE(core.IsOpen());
  EXPECT_EQ(core.Handle(), -1);
  EXPECT_EQ(core.Dcb().ByteSize, 8);
  EXPECT_EQ(core.Dcb().BaudRate, 19200u) << "the DCB mirrors the port again";
  TAfComPortCore other;
  other.ConfigureLine(LineDcb(9600));
  EXPECT_TRUE(other.OpenPort(1)) << "the failed open left nothing behind";
}

TEST_F(CoreTest, RejectedSettingsWhileOpenKeepTheOldOnes) {
  ASSERT_TRUE(core.OpenPort(1));
  DCB bad = LineDcb(57600);
  bad.ByteSize = 4;
  EXPECT_EQ(Message([&] { core.ConfigureLine(bad); }), "Error setting parameters from DCB");
  EXPECT_TRUE(core.IsOpen());
  EXPECT_EQ(core.Dcb().ByteSize, 8);
  EXPECT_EQ(core.Dcb().BaudRate, 9600u);
  EXPECT_EQ(Slave().c_cflag & CBAUD, unsigned(B9600));
}

TEST_F(CoreTest, SettingsGivenWhileClosedWaitForTheOpen) {
  core.ConfigureLine(LineDcb(4800));
  ASSERT_TRUE(core.OpenPort(1));
  core.ClosePort();
  core.ConfigureLine(LineDcb(115200));
  EXPECT_EQ(Slave().c_cflag & CBAUD, unsigned(B4800));
  ASSERT_TRUE(core.OpenPort(1));
  EXPECT_EQ(Slave().c_cflag & CBAUD, unsigned(B115200));
}

TEST_F(CoreTest, AQueueWithoutRoomCannotBeSetUp) {
  core.SetOutQueueSize(0);
  EXPECT_EQ(Message([&] { core.OpenPort(1); }), "Error initializing buffers");
  EXPECT_FALSE(core.IsOpen());
  core.SetOutQueueSize(4096);
  EXPECT_TRUE(core.OpenPort(1));
}

TEST_F(CoreTest, AClosedCoreGivesNeutralResults) {
  char buffer[4];
  EXPECT_EQ(core.ReadBytes(buffer, 4), -1);
  EXPECT_FALSE(core.WriteBytes("ab", 2));
  EXPECT_EQ(core.OutputFree(), 0);
  COMSTAT stat{1, 2, 3};
  core.GetQueueStatus(stat);
  EXPECT_EQ(stat.Flags + stat.cbInQue + stat.cbOutQue, 0u);
  EXPECT_EQ(core.TakeLineErrors(), 0u);
  EXPECT_FALSE(core.PurgeInput());
  EXPECT_FALSE(core.PurgeOutput());
  EXPECT_FALSE(core.EscapeFunction(SETDTR));
}

TEST_F(CoreTest, QueueSizesTakeEffectAtTheNextOpen) {
  ASSERT_TRUE(core.OpenPort(1));
  EXPECT_EQ(core.OutputFree(), 4096);
  core.SetOutQueueSize(100);
  EXPECT_EQ(core.OutputFree(), 4096);
  EXPECT_FALSE(core.WriteBytes("", 0));
  const std::string tooBig(4097, 'x');
  EXPECT_FALSE(core.WriteBytes(tooBig.data(), 4097));
  core.ClosePort();
  ASSERT_TRUE(core.OpenPort(1));
  EXPECT_EQ(core.OutputFree(), 100);
  EXPECT_FALSE(core.WriteBytes(tooBig.data(), 101));
}

// ---------------------------------------------------------------------------------------------------------
// Line settings and data

TEST_F(CoreTest, LineSettingsReachThePort) {
  DCB dcb = LineDcb(250000);
  dcb.StopBits = TWOSTOPBITS;
  dcb.Flags |= dcbOutxCtsFlow | dcbRtsControlHandshake;
  core.ConfigureLine(dcb);
  ASSERT_TRUE(core.OpenPort(1));
  termios2 t = Slave();
  EXPECT_EQ(t.c_cflag & CBAUD, unsigned(BOTHER));
  EXPECT_EQ(t.c_ospeed, 250000u);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

  dcb = LineDcb(115200);
  dcb.Flags |= dcbOutX | dcbInX;
  core.ConfigureLine(dcb);
  t = Slave();
  EXPECT_EQ(t.c_cflag & CBAUD, unsigned(B115200));
  EXPECT_FALSE(t.c_cflag & (CSTOPB | CRTSCTS));
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

TEST_F(CoreTest, EveryByteValuePassesBothWays) {
  ASSERT_TRUE(core.OpenPort(1));
  std::string all;
  for (int i = 0; i < 256; ++i)
    all.push_back(static_cast<char>(i));
  all += "\x11\x13\x11\x13\r\n\x03\x1a";
  ASSERT_TRUE(port.Pty().WriteAll(all));
  EXPECT_EQ(ReadFromCore(all.size()), all);
  ASSERT_TRUE(WriteThroughCore(all));
  EXPECT_EQ(port.Pty().ReadExactly(all.size()), all);
  EXPECT_EQ(port.Pty().ReadUntilQuiet(100), "");
}

// Random pieces through a 4096-byte ring, with the reader pausing now and then so the driver fills and
// writes come back short: every byte must arrive once, in order.
TEST_F(CoreTest, OneMebibyteArrivesCompleteAndInOrder) {
  ASSERT_TRUE(core.OpenPort(1));
  std::mt19937 random(11);
  std::string data(1 << 20, '\0');
  for (char& c : data)
    c = static_cast<char>(random());
  std::string received;
  std::thread reader([&] {
    std::mt19937 pauses(5);
    const auto deadline = Clock::now() + 60s;
    while (received.size() < data.size() && Clock::now() < deadline) {
      received += port.Pty().ReadExactly(std::min<size_t>(data.size() - received.size(), 50000), 100);
      if (pauses() % 4 == 0) std::this_thread::sleep_for(5ms);
    }
  });
  const bool queued = WriteThroughCore(data, &random, 60000);
  reader.join();
  ASSERT_TRUE(queued);
  ASSERT_EQ(received.size(), data.size());
  EXPECT_TRUE(received == data) << "bytes lost, repeated or out of order";
  EXPECT_TRUE(log.WaitUntil([&] { return log.Count(ceOutFree) > 0; }));
  // The last bytes can reach the reader before the write thread has taken them off the ring.
  EXPECT_TRUE(log.WaitUntil([&] { return core.OutputFree() == 4096; })) << core.OutputFree();
}

TEST_F(CoreTest, OutFreeFollowsTheDrain) {
  ASSERT_TRUE(core.OpenPort(1));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(log.Count(ceOutFree), 0);
  ASSERT_TRUE(core.WriteBytes("hello", 5));
  EXPECT_EQ(port.Pty().ReadExactly(5), "hello");
  EXPECT_TRUE(log.WaitUntil([&] { return log.Count(ceOutFree) == 1; }));
}

TEST_F(CoreTest, UnreadBytesAreReportedEveryPollUntilRead) {
  ASSERT_TRUE(core.OpenPort(1));
  ASSERT_TRUE(port.Pty().WriteAll("abc"));
  std::this_thread::sleep_for(1100ms);
  const int polls = log.Count(ceNeedReadData);
  EXPECT_GE(polls, 3);
  EXPECT_LE(polls, 7);
  EXPECT_EQ(log.Count([](const EventLog::Entry& e) { return e.Kind == ceNeedReadData && e.Data != 3; }), 0);
  EXPECT_EQ(log.CharacterEvents(), 1) << "one arrival, one character event";
  EXPECT_EQ(ReadFromCore(3), "abc");
  std::this_thread::sleep_for(50ms);
  const int afterRead = log.Count(ceNeedReadData);
  std::this_thread::sleep_for(600ms);
  EXPECT_EQ(log.Count(ceNeedReadData), afterRead);
  ASSERT_TRUE(port.Pty().WriteAll("d"));
  EXPECT_TRUE(log.WaitUntil([&] { return log.CharacterEvents() == 2; }));
}

TEST_F(CoreTest, QueueStatusCountsWaitingBytes) {
  ASSERT_TRUE(core.OpenPort(1));
  ASSERT_TRUE(port.Pty().WriteAll("12345"));
  COMSTAT stat;
  EXPECT_TRUE(log.WaitUntil([&] {
    core.GetQueueStatus(stat);
    return stat.cbInQue == 5;
  }));
  EXPECT_EQ(stat.Flags, 0u);
  EXPECT_EQ(core.TakeLineErrors(), 0u);
}

TEST_F(CoreTest, PurgingInputDiscardsWhatWaits) {
  ASSERT_TRUE(core.OpenPort(1));
  ASSERT_TRUE(port.Pty().WriteAll("stale"));
  COMSTAT stat;
  ASSERT_TRUE(log.WaitUntil([&] {
    core.GetQueueStatus(stat);
    return stat.cbInQue == 5;
  }));
  EXPECT_TRUE(core.PurgeInput());
  core.GetQueueStatus(stat);
  EXPECT_EQ(stat.cbInQue, 0u);
  ASSERT_TRUE(port.Pty().WriteAll("fresh"));
  EXPECT_EQ(ReadFromCore(5), "fresh");
}

// With nobody reading the other side the driver fills up and the ring holds the rest; the purge drops
// the ring, and nothing queued before it arrives after what the driver already held.
TEST_F(CoreTest, PurgingOutputEmptiesTheRing) {
  ASSERT_TRUE(core.OpenPort(1));
  std::string sent;
  const std::string piece(1000, 'p');
  int refused = 0;  // in a row: the line is stuck once the ring stays full for a while
  for (auto deadline = Clock::now() + 10s; Clock::now() < deadline && refused < 40;) {
    if (core.WriteBytes(piece.data(), 1000)) {
      sent += piece;
      refused = 0;
    } else {
      ++refused;
      std::this_thread::sleep_for(5ms);
    }
  }
  ASSERT_LT(core.OutputFree(), 1000) << "the ring never filled";
  const auto start = Clock::now();
  EXPECT_TRUE(core.PurgeOutput());
  EXPECT_LT(MsSince(start), 1500);
  EXPECT_EQ(core.OutputFree(), 4096);
  const std::string held = port.Pty().ReadUntilQuiet(300);
  EXPECT_LT(held.size(), sent.size());
  ASSERT_TRUE(core.WriteBytes("END", 3));
  EXPECT_EQ(port.Pty().ReadExactly(3), "END");
}

TEST_F(CoreTest, ModemLinesOnAPseudoTerminalFailQuietly) {
  ASSERT_TRUE(core.OpenPort(1));
  for (uint32_t code : {SETRTS, CLRRTS, SETDTR, CLRDTR})
    EXPECT_FALSE(core.EscapeFunction(code)) << code;
  EXPECT_TRUE(core.IsActive());
  ASSERT_TRUE(core.WriteBytes("ok", 2));
  EXPECT_EQ(port.Pty().ReadExactly(2), "ok");
}

// ---------------------------------------------------------------------------------------------------------
// The owner's callback

TEST_F(CoreTest, CallbackRunsOnTheEventThreadOnly) {
  ASSERT_TRUE(core.OpenPort(1));
  ASSERT_TRUE(port.Pty().WriteAll("x"));
  ASSERT_TRUE(core.WriteBytes("y", 1));
  ASSERT_TRUE(log.WaitUntil([&] { return log.Count(ceNeedReadData) > 0 && log.Count(ceOutFree) > 0; }));
  const auto entries = log.Entries();
  for (const auto& e : entries) {
    EXPECT_NE(e.Thread, std::this_thread::get_id());
    EXPECT_EQ(e.Thread, entries.front().Thread);
  }
}

TEST_F(CoreTest, CallbackExceptionsComeBackAsExceptionEvents) {
  std::atomic<int> thrown{0};
  extra = [&](TAfCoreEvent Kind, uint32_t) {
    if (Kind == ceNeedReadData && thrown++ == 0) throw std::runtime_error("handler failed");
  };
  ClosedAtEnd closed{core};
  ASSERT_TRUE(core.OpenPort(1));
  ASSERT_TRUE(port.Pty().WriteAll("x"));
  ASSERT_TRUE(log.WaitUntil([&] { return log.Count(ceException) == 1; }));
  const auto entries = log.Entries();
  for (const auto& e : entries) {
    if (e.Kind != ceException) continue;
    EXPECT_EQ(e.Data, 0u);
    ASSERT_TRUE(e.Error);
    try {
      std::rethrow_exception(e.Error);
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "handler failed");
    }
  }
  EXPECT_TRUE(log.WaitUntil([&] { return log.Count(ceNeedReadData) >= 3; })) << "later events still arrive";
  EXPECT_EQ(log.Count(ceException), 1);
}

TEST_F(CoreTest, SilentAbortsFromTheCallbackAreDropped) {
  extra = [&](TAfCoreEvent Kind, uint32_t) {
    if (Kind == ceNeedReadData) throw EAbort();
  };
  ClosedAtEnd closed{core};
  ASSERT_TRUE(core.OpenPort(1));
  ASSERT_TRUE(port.Pty().WriteAll("x"));
  ASSERT_TRUE(log.WaitUntil([&] { return log.Count(ceNeedReadData) >= 2; }));
  EXPECT_EQ(log.Count(ceException), 0);
}

TEST_F(CoreTest, NoCallbackAfterClose) {
  ASSERT_TRUE(core.OpenPort(1));
  ASSERT_TRUE(port.Pty().WriteAll("x"));
  ASSERT_TRUE(log.WaitUntil([&] { return log.Count(ceNeedReadData) > 0; }));
  core.ClosePort();
  const size_t count = log.Entries().size();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(log.Entries().size(), count);
}

// A callback that hands its event to the UI thread and waits for it, as the component does, while the
// UI thread is closing the port: the close serves the delivery and does not sit out the wait.
TEST_F(CoreTest, CloseServesACallbackWaitingForTheUiThread) {
  std::atomic<int> delivered{0};
  const uint32_t slot = SafeSyncRegister([&](uint32_t) { ++delivered; });
  ASSERT_NE(slot, 0u);
  SafeSyncEnable(slot, true);
  std::atomic<bool> waiting{false};
  extra = [&](TAfCoreEvent Kind, uint32_t) {
    if (Kind != ceNeedReadData) return;
    waiting = true;
    SafeSyncCall(slot, 5000);
  };
  ClosedAtEnd closed{core};
  ASSERT_TRUE(core.OpenPort(1));
  ASSERT_TRUE(port.Pty().WriteAll("x"));
  ASSERT_TRUE(log.WaitUntil([&] { return waiting.load(); }));
  const auto start = Clock::now();
  core.ClosePort();
  EXPECT_LT(MsSince(start), 2000);
  EXPECT_GE(delivered, 1);
  SafeSyncUnregister(slot);
}

// ---------------------------------------------------------------------------------------------------------
// Stress and failure

// The other side floods the line; the callback reads and asks for the queue status from the event thread
// while the UI thread opens and closes. A close that waited for the event thread while holding ReadLock
// would hang here.
TEST_F(CoreTest, ManyOpenCloseCyclesUnderTraffic) {
  QCoreApplication::processEvents();
  // One cycle before counting, so threads a runtime starts once for itself (a sanitizer's) are not taken
  // for threads left running.
  ASSERT_TRUE(core.OpenPort(1));
  core.ClosePort();
  const int fds = EntriesIn("/proc/self/fd");
  const int threads = EntriesIn("/proc/self/task");
  std::atomic<bool> stop{false};
  std::thread flood([&] {
    const std::string chunk(512, 'f');
    while (!stop) {
      if (write(port.Pty().Master(), chunk.data(), chunk.size()) <= 0) std::this_thread::sleep_for(1ms);
      port.Pty().ReadAvailable();
    }
  });
  std::atomic<int> reads{0};
  // Busy for a while, and all that time taking ReadLock again and again, so a close often begins while
  // this thread is between the active check and the lock.
  extra = [&](TAfCoreEvent, uint32_t) {
    const auto until = Clock::now() + 1ms;
    while (Clock::now() < until) {
      char buffer[64];
      if (core.ReadBytes(buffer, sizeof buffer) > 0) ++reads;
      COMSTAT stat;
      core.GetQueueStatus(stat);
    }
  };
  ClosedAtEnd closed{core};
  int opened = 0;
  const auto start = Clock::now();
  {
    test::Watchdog watchdog(120s, "open/close cycles hung");
    for (int cycle = 0; cycle < 500; ++cycle) {
      if (!core.OpenPort(1)) break;
      ++opened;
      core.WriteBytes("ping", 4);
      if (cycle % 50 == 0) std::this_thread::sleep_for(20ms);
      core.ClosePort();
    }
  }
  const int64_t elapsed = MsSince(start);
  stop = true;
  flood.join();
  EXPECT_EQ(opened, 500);
  EXPECT_FALSE(core.IsOpen());
  EXPECT_LT(elapsed, 120000);
  EXPECT_GT(reads, 0) << "the callback never ran while the data flowed";
  EXPECT_EQ(EntriesIn("/proc/self/fd"), fds) << "descriptors leaked";
  EXPECT_EQ(SettledEntriesIn("/proc/self/task", threads), threads) << "threads left running";
}

TEST_F(CoreTest, AVanishedOtherSideNeitherSpinsNorHangs) {
  ASSERT_TRUE(core.OpenPort(1));
  ASSERT_TRUE(core.WriteBytes("before", 6));
  EXPECT_EQ(port.Pty().ReadExactly(6), "before");
  port.Pty().CloseMaster();
  ASSERT_TRUE(log.WaitUntil([&] { return log.Count(ceException) > 0; }, 10000)) << "the loss was not seen";
  const double cpuBefore = ProcessCpuSeconds();
  const auto wallBefore = Clock::now();
  std::this_thread::sleep_for(1s);
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  const double wall = MsSince(wallBefore) / 1000.0;
  EXPECT_LT(cpu, 0.1 * wall) << "port threads keep the processor busy";
  char buffer[16];
  EXPECT_EQ(core.ReadBytes(buffer, sizeof buffer), 0);
  EXPECT_FALSE(core.WriteBytes("after", 5));
  COMSTAT stat;
  core.GetQueueStatus(stat);
  EXPECT_EQ(stat.cbInQue, 0u);
  ASSERT_EQ(log.Count(ceException), 1) << "the owner hears of the loss once";
  std::exception_ptr lost;
  for (const EventLog::Entry& e : log.Entries())
    if (e.Kind == ceException) lost = e.Error;
  ASSERT_TRUE(lost);
  try {
    std::rethrow_exception(lost);
  } catch (const EAfComPortLost& e) {
    EXPECT_STREQ(e.what(), "COM1 was lost: the device has gone away (unplugged?). The port has been closed.");
  }
  EXPECT_TRUE(core.DeviceGone());
  const auto start = Clock::now();
  core.ClosePort();
  EXPECT_LT(MsSince(start), 1500);
  EXPECT_FALSE(core.IsOpen());
  EXPECT_FALSE(core.DeviceGone());
}

}  // namespace
}  // namespace tarnel
