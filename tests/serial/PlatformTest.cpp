#include <asm/termbits.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "serial/platform/ComNames.h"
#include "serial/platform/Event.h"
#include "serial/platform/LineSettings.h"
#include "serial/platform/SerialDevice.h"
#include "serial/platform/Threads.h"
#include "support/PtyPair.h"
#include "support/UiThreadWait.h"

namespace tarnel::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::MsSince;

// ---------------------------------------------------------------------------------------------------------
// Events and waiting for several

TEST(EventTest, AutoResetIsConsumedByOneWait) {
  Event event(Event::Kind::AutoReset);
  event.Set();
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
}

TEST(EventTest, ManualResetStaysUntilReset) {
  Event event(Event::Kind::ManualReset, true);
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(0));
  event.Reset();
  EXPECT_FALSE(event.Wait(0));
}

TEST(EventTest, FirstSignalledInSetOrderWins) {
  Event a(Event::Kind::AutoReset), b(Event::Kind::ManualReset), c(Event::Kind::AutoReset);
  b.Set();
  c.Set();
  EXPECT_EQ(WaitAny({&a, &b, &c}, 0), 1);
  b.Reset();
  EXPECT_EQ(WaitAny({&a, &b, &c}, 0), 2);
  EXPECT_EQ(WaitAny({&a, &b, &c}, 0), kWaitTimeout);
}

TEST(EventTest, TimeoutIsKept) {
  Event a(Event::Kind::AutoReset);
  const auto start = Clock::now();
  EXPECT_EQ(WaitAny({&a}, 150), kWaitTimeout);
  EXPECT_GE(MsSince(start), 145);
  EXPECT_LT(MsSince(start), 2000);
}

TEST(EventTest, SetFromAnotherThreadWakesTheWaiter) {
  Event a(Event::Kind::AutoReset), b(Event::Kind::AutoReset);
  std::thread setter([&] {
    std::this_thread::sleep_for(50ms);
    b.Set();
  });
  EXPECT_EQ(WaitAny({&a, &b}, 5000), 1);
  setter.join();
}

TEST(EventTest, AutoResetWakesOnlyOneOfTwoWaiters) {
  Event shared(Event::Kind::AutoReset);
  std::atomic<int> woken{0};
  auto waiter = [&] {
    if (shared.Wait(400)) ++woken;
  };
  std::thread first(waiter), second(waiter);
  std::this_thread::sleep_for(50ms);
  shared.Set();
  first.join();
  second.join();
  EXPECT_EQ(woken, 1);
}

// ---------------------------------------------------------------------------------------------------------
// The DCB-to-termios translation (a pseudo-terminal forces 8 bits and no parity, so these are checked here)

// The exchange's closing pause: it sleeps to its end and never returns early, and the thread's own timer
// grace, which its other waits (the window's event loop) go on using, is as it was afterwards.
TEST(SleepTest, SleepUntilNeverEndsEarlyAndLeavesTheTimerSlackAsItWas) {
  const int slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  for (std::chrono::microseconds length : {0us, 300us, 10000us}) {
    const Clock::time_point until = Clock::now() + length;
    SleepUntil(until);
    EXPECT_GE(Clock::now(), until) << length.count() << " us";
    EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), slack);
  }
  ASSERT_EQ(prctl(PR_SET_TIMERSLACK, 200000UL, 0, 0, 0), 0);
  SleepUntil(Clock::now() + 2ms);
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), 200000) << "a slack of the caller's own choosing";
  prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0, 0, 0);
}

class LineSettingsTest : public ::testing::Test {
 protected:
  termios2 settings{};
  DCB dcb = Dcb(9600);

  static DCB Dcb(uint32_t Baud) {
    DCB d{};
    d.DCBlength = sizeof(DCB);
    d.BaudRate = Baud;
    d.ByteSize = 8;
    d.Flags = dcbBinary;
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    return d;
  }
};

TEST_F(LineSettingsTest, DataBitsFiveToEight) {
  const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  for (int bits = 5; bits <= 8; ++bits) {
    dcb.ByteSize = static_cast<uint8_t>(bits);
    ASSERT_TRUE(DcbToTermios(dcb, settings));
    EXPECT_EQ(settings.c_cflag & CSIZE, sizes[bits - 5]) << bits;
    DCB back{};
    TermiosToDcb(settings, back);
    EXPECT_EQ(back.ByteSize, bits);
  }
}

TEST_F(LineSettingsTest, FourOrNineDataBitsAreRefusedAndNothingChanges) {
  ASSERT_TRUE(DcbToTermios(dcb, settings));
  const termios2 before = settings;
  for (uint8_t bits : {4, 9}) {
    dcb.ByteSize = bits;
    EXPECT_FALSE(DcbToTermios(dcb, settings));
    EXPECT_EQ(settings.c_cflag, before.c_cflag);
  }
}

TEST_F(LineSettingsTest, EveryParity) {
  struct {
    uint8_t parity;
    tcflag_t flags;
  } cases[] = {{NOPARITY, 0},
               {ODDPARITY, PARENB | PARODD},
               {EVENPARITY, PARENB},
               {MARKPARITY, PARENB | PARODD | CMSPAR},
               {SPACEPARITY, PARENB | CMSPAR}};
  for (const auto& c : cases) {
    dcb.Parity = c.parity;
    ASSERT_TRUE(DcbToTermios(dcb, settings));
    EXPECT_EQ(settings.c_cflag & (PARENB | PARODD | CMSPAR), c.flags) << int(c.parity);
    DCB back{};
    TermiosToDcb(settings, back);
    EXPECT_EQ(back.Parity, c.parity);
  }
  dcb.Parity = 5;
  EXPECT_FALSE(DcbToTermios(dcb, settings));
}

TEST_F(LineSettingsTest, ParityCheckingFollowsTheFlag) {
  dcb.Parity = EVENPARITY;
  dcb.Flags |= dcbParity;
  ASSERT_TRUE(DcbToTermios(dcb, settings));
  EXPECT_TRUE(settings.c_iflag & INPCK);
  dcb.Flags &= ~dcbParity;
  ASSERT_TRUE(DcbToTermios(dcb, settings));
  EXPECT_FALSE(settings.c_iflag & INPCK);
}

TEST_F(LineSettingsTest, StopBits) {
  dcb.StopBits = TWOSTOPBITS;
  ASSERT_TRUE(DcbToTermios(dcb, settings));
  EXPECT_TRUE(settings.c_cflag & CSTOPB);
  dcb.StopBits = ONESTOPBIT;
  ASSERT_TRUE(DcbToTermios(dcb, settings));
  EXPECT_FALSE(settings.c_cflag & CSTOPB);
  dcb.StopBits = ONE5STOPBITS;
  EXPECT_FALSE(DcbToTermios(dcb, settings)) << "one and a half stop bits need 5-bit characters";
  dcb.ByteSize = 5;
  EXPECT_TRUE(DcbToTermios(dcb, settings));
  EXPECT_TRUE(settings.c_cflag & CSTOPB);
}

TEST_F(LineSettingsTest, StandardAndOtherSpeeds) {
  ASSERT_TRUE(DcbToTermios(Dcb(115200), settings));
  EXPECT_EQ(settings.c_cflag & CBAUD, unsigned(B115200));
  EXPECT_EQ(TermiosSpeed(settings), 115200u);
  ASSERT_TRUE(DcbToTermios(Dcb(250000), settings));
  EXPECT_EQ(settings.c_cflag & CBAUD, unsigned(BOTHER));
  EXPECT_EQ(settings.c_ospeed, 250000u);
  EXPECT_EQ(settings.c_ispeed, 250000u);
  EXPECT_EQ(TermiosSpeed(settings), 250000u);
  EXPECT_FALSE(DcbToTermios(Dcb(0), settings));
}

TEST_F(LineSettingsTest, FlowControl) {
  dcb.Flags |= dcbOutxCtsFlow | dcbRtsControlHandshake;
  ASSERT_TRUE(DcbToTermios(dcb, settings));
  EXPECT_TRUE(settings.c_cflag & CRTSCTS);
  EXPECT_FALSE(settings.c_iflag & (IXON | IXOFF));

  dcb.Flags = dcbBinary | dcbOutX | dcbInX;
  dcb.XonChar = 0x01;
  dcb.XoffChar = 0x02;
  ASSERT_TRUE(DcbToTermios(dcb, settings));
  EXPECT_FALSE(settings.c_cflag & CRTSCTS);
  EXPECT_TRUE(settings.c_iflag & IXON);
  EXPECT_TRUE(settings.c_iflag & IXOFF);
  EXPECT_FALSE(settings.c_iflag & IXANY);
  EXPECT_EQ(settings.c_cc[VSTART], 0x01);
  EXPECT_EQ(settings.c_cc[VSTOP], 0x02);
  DCB back{};
  TermiosToDcb(settings, back);
  EXPECT_EQ(back.Flags & (dcbOutX | dcbInX), dcbOutX | dcbInX);
  EXPECT_EQ(back.XonChar, 0x01);
}

TEST_F(LineSettingsTest, RawModeLetsEveryByteThrough) {
  settings.c_iflag = ICRNL | IXON | IXOFF | IXANY | ISTRIP;
  settings.c_oflag = OPOST | ONLCR;
  settings.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
  settings.c_cc[VMIN] = 1;
  MakeRaw(settings);
  EXPECT_EQ(settings.c_iflag & (ICRNL | IXON | IXOFF | IXANY | ISTRIP), 0u);
  EXPECT_EQ(settings.c_oflag & OPOST, 0u);
  EXPECT_EQ(settings.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
  EXPECT_EQ(settings.c_cc[VMIN], 0);
  EXPECT_EQ(settings.c_cc[VTIME], 0);
}

// ---------------------------------------------------------------------------------------------------------
// The device on a pseudo-terminal

class DeviceTest : public ::testing::Test {
 protected:
  test::PtyPort port{3};
  std::unique_ptr<SerialDevice> device = CreateSerialDevice();

  void SetUp() override {
    ASSERT_EQ(device->Open(3), TOpenResult::Opened);
    ASSERT_TRUE(device->SetEventMask(EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_ERR | EV_RING));
  }

  termios2 Slave() {
    termios2 t{};
    EXPECT_EQ(ioctl(port.Pty().Master(), TCGETS2, &t), 0);  // a master reports its slave's settings
    return t;
  }

  bool LineEventWithin(int Ms) { return WaitAny({&device->LineEventSource()}, Ms) == 0; }
};

TEST_F(DeviceTest, NumbersWithoutADeviceAreMissing) {
  auto other = CreateSerialDevice();
  EXPECT_EQ(other->Open(200), TOpenResult::Missing);
  port.Dir().Link(4, port.Dir().Path() + "/nowhere");
  EXPECT_EQ(other->Open(4), TOpenResult::Missing);
  EXPECT_EQ(ProbeComPort(4), TPortProbe::Missing);
}

TEST_F(DeviceTest, APortInUseCannotBeOpenedAgain) {
  auto other = CreateSerialDevice();
  EXPECT_EQ(other->Open(3), TOpenResult::Failed);
  EXPECT_EQ(ProbeComPort(3), TPortProbe::Busy);
  device->Close();
  EXPECT_EQ(ProbeComPort(3), TPortProbe::Free);
  EXPECT_EQ(other->Open(3), TOpenResult::Opened);
}

TEST_F(DeviceTest, OpensRaw) {
  const termios2 t = Slave();
  EXPECT_EQ(t.c_lflag & (ECHO | ICANON), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
  EXPECT_TRUE(t.c_cflag & CLOCAL);
}

TEST_F(DeviceTest, SettingsReachTheDriver) {
  DCB dcb{};
  dcb.BaudRate = 250000;
  dcb.ByteSize = 8;
  dcb.StopBits = TWOSTOPBITS;
  dcb.Flags = dcbBinary | dcbOutX | dcbInX;
  dcb.XonChar = 0x05;
  dcb.XoffChar = 0x06;
  ASSERT_TRUE(device->ApplyLineSettings(dcb));
  termios2 t = Slave();
  EXPECT_EQ(t.c_cflag & CBAUD, unsigned(BOTHER));
  EXPECT_EQ(t.c_ospeed, 250000u);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_EQ(t.c_cc[VSTART], 0x05);
  EXPECT_EQ(t.c_cc[VSTOP], 0x06);

  DCB back{};
  ASSERT_TRUE(device->ReadLineSettings(back));
  EXPECT_EQ(back.BaudRate, 250000u);
  EXPECT_EQ(back.StopBits, TWOSTOPBITS);
  EXPECT_EQ(back.DCBlength, sizeof(DCB));

  dcb.ByteSize = 4;
  EXPECT_FALSE(device->ApplyLineSettings(dcb));
  t = Slave();
  EXPECT_EQ(t.c_ospeed, 250000u);
  EXPECT_TRUE(t.c_iflag & IXON);
}

TEST_F(DeviceTest, CharacterReceivedOncePerArrival) {
  while (LineEventWithin(0))
    device->TakeLineEvents();
  ASSERT_TRUE(port.Pty().WriteAll("A"));
  ASSERT_TRUE(LineEventWithin(2000));
  EXPECT_EQ(device->TakeLineEvents(), EV_RXCHAR);
  EXPECT_FALSE(LineEventWithin(300)) << "the waiting byte must not keep firing";
  EXPECT_EQ(device->TakeLineEvents(), 0u);
  ASSERT_TRUE(port.Pty().WriteAll("B"));
  ASSERT_TRUE(LineEventWithin(2000));
  EXPECT_EQ(device->TakeLineEvents(), EV_RXCHAR);

  uint32_t errors = 0;
  COMSTAT stat;
  ASSERT_TRUE(device->ClearErrors(errors, stat));
  EXPECT_EQ(stat.cbInQue, 2u);
  EXPECT_EQ(errors, 0u);
  char buffer[8];
  EXPECT_EQ(device->Read(buffer, 8), 2);
  EXPECT_EQ(std::string(buffer, 2), "AB");
  EXPECT_EQ(device->Read(buffer, 8), 0);
}

TEST_F(DeviceTest, MaskZeroReportsNothing) {
  ASSERT_TRUE(device->SetEventMask(0));
  ASSERT_TRUE(port.Pty().WriteAll("A"));
  ASSERT_TRUE(LineEventWithin(2000));
  EXPECT_EQ(device->TakeLineEvents(), 0u);
}

TEST_F(DeviceTest, PurgeDiscardsInput) {
  ASSERT_TRUE(port.Pty().WriteAll("hello"));
  ASSERT_TRUE(LineEventWithin(2000));
  ASSERT_TRUE(device->Purge(PURGE_RXABORT | PURGE_RXCLEAR));
  uint32_t errors;
  COMSTAT stat;
  ASSERT_TRUE(device->ClearErrors(errors, stat));
  EXPECT_EQ(stat.cbInQue, 0u);
}

TEST_F(DeviceTest, ModemLinesOnAPseudoTerminalFailQuietly) {
  EXPECT_FALSE(device->Escape(SETDTR));
  EXPECT_FALSE(device->Escape(CLRRTS));
  EXPECT_FALSE(device->Escape(77));
  EXPECT_FALSE(device->IsGone());
}

TEST_F(DeviceTest, AVanishedOtherSideIsGoneAndQuiet) {
  port.Pty().CloseMaster();
  ASSERT_TRUE(LineEventWithin(2000));
  EXPECT_EQ(device->TakeLineEvents(), 0u);
  EXPECT_TRUE(device->IsGone());
  EXPECT_FALSE(LineEventWithin(300)) << "a gone device is no longer watched";
  char buffer[4];
  EXPECT_EQ(device->Read(buffer, 4), 0);
  EXPECT_EQ(device->Write("x", 1), -1);
  uint32_t errors;
  COMSTAT stat;
  EXPECT_FALSE(device->ClearErrors(errors, stat));
  EXPECT_EQ(stat.cbInQue, 0u);
  device->Close();
  EXPECT_EQ(device->Handle(), -1);
}

TEST_F(DeviceTest, NonBlockingWriteTakesWhatFitsAndSaysWhenMoreFits) {
  const std::string big(256 * 1024, 'x');
  int32_t total = 0;
  for (;;) {
    const int32_t n = device->Write(big.data(), static_cast<int32_t>(big.size()));
    ASSERT_GE(n, 0);
    total += n;
    if (n == 0 && WaitAny({&device->WriteReadySource()}, 200) == kWaitTimeout) break;
  }
  EXPECT_GT(total, 0);
  EXPECT_LT(total, static_cast<int32_t>(big.size()));
  EXPECT_EQ(port.Pty().ReadExactly(static_cast<size_t>(total)).size(), static_cast<size_t>(total));
  EXPECT_EQ(WaitAny({&device->WriteReadySource()}, 2000), 0);
}

// ---------------------------------------------------------------------------------------------------------
// What stands behind a COM number, and why a port cannot be had

class ComNamesTest : public ::testing::Test {
 protected:
  test::ComDir dir;

  std::string Entry(int N) const { return dir.Path() + "/COM" + std::to_string(N); }
};

TEST_F(ComNamesTest, TheFolderAloneDecidesAndAMissingOneIsReported) {
  EXPECT_EQ(ComDevicePath(1), "") << "never the built-in /dev/ttyS0";
  const TComOpen noEntry = OpenComDevice(1);
  EXPECT_EQ(noEntry.Result, TOpenResult::Missing);
  EXPECT_EQ(noEntry.Reason, "The folder \"" + dir.Path() + "\" named by TARNEL_COM_DIR has no entry COM1.");
  EXPECT_EQ(ComDirProblem(), "");

  const std::string gone = dir.Path() + "/not-there";
  setenv("TARNEL_COM_DIR", gone.c_str(), 1);
  EXPECT_EQ(ComDirProblem(), "The folder \"" + gone + "\" named by TARNEL_COM_DIR does not exist.");
  EXPECT_EQ(OpenComDevice(1).Reason, ComDirProblem());
  unsetenv("TARNEL_COM_DIR");
  EXPECT_EQ(ComDevicePath(1), "/dev/ttyS0");
}

TEST_F(ComNamesTest, EntriesThatAreNoTerminalAreNeitherPortsNorOpened) {
  const std::string file = dir.Path() + "/file", folder = dir.Path() + "/folder", fifo = dir.Path() + "/fifo";
  close(open(file.c_str(), O_CREAT | O_WRONLY, 0666));
  ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  const struct {
    int N;
    std::string Target, Kind;
  } entries[] = {{1, file, "a regular file"},
                 {2, folder, "a folder"},
                 {3, fifo, "a named pipe"},
                 {4, "/dev/null", "a device that is not a terminal"},
                 {5, Entry(6), "a loop of links"}};
  dir.Link(6, Entry(5));
  for (const auto& e : entries) {
    dir.Link(e.N, e.Target);
    EXPECT_EQ(ProbeComPort(e.N), TPortProbe::Missing) << e.Kind;
    const TComOpen opened = OpenComDevice(e.N);
    EXPECT_EQ(opened.Result, TOpenResult::Failed);
    EXPECT_EQ(opened.Reason, Entry(e.N) + " is not a serial device: it is " + e.Kind + ".");
  }
  unlink(file.c_str());
  unlink(fifo.c_str());
  rmdir(folder.c_str());
}

// Another process holds the lock, as a second instance of this program would.
TEST_F(ComNamesTest, APortLockedElsewhereNamesItsHolder) {
  test::PtyPair pty;
  dir.Link(1, pty.SlavePath());
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {  // only system calls; it ends by itself should the test not get to stop it
    const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    const char c = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
    if (write(ready[1], &c, 1) == 1) poll(nullptr, 0, 20000);
    _exit(0);
  }
  char c = 0;
  EXPECT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'y');
  EXPECT_EQ(InspectComPort(1), TPortCondition::InUse);
  const TComOpen opened = OpenComDevice(1);
  EXPECT_EQ(opened.Result, TOpenResult::Failed);
  EXPECT_EQ(opened.Reason, pty.SlavePath() + " is in use by another instance of this program (process " +
                               std::to_string(child) + ").");
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  const TComOpen again = OpenComDevice(1);
  EXPECT_EQ(again.Result, TOpenResult::Opened);
  CloseComDevice(again.Fd);
}

// The tests run as root, whom no file mode stops, so the reason is built from the error directly.
TEST_F(ComNamesTest, NoPermissionSaysWhichGroupToJoin) {
  const group* dialout = getgrnam("dialout");
  if (!dialout) GTEST_SKIP() << "no dialout group on this machine";
  test::PtyPair pty;
  const std::string path = pty.SlavePath();
  ASSERT_EQ(chown(path.c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(path.c_str(), 0660), 0);
  EXPECT_EQ(
      OpenFailureReason(path, EACCES),
      "You have no permission to use " + path +
          ". It belongs to the group \"dialout\": join it with \"sudo usermod -aG dialout $USER\", then "
          "log out and in again.");
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  EXPECT_EQ(OpenFailureReason(path, EPERM),
            "You have no permission to use " + path +
                " (owner root, group dialout, mode 0600): ask the administrator for read and write access.");
  EXPECT_EQ(OpenFailureReason(path, EIO),
            path + " has no device behind it any more: it has gone away (unplugged?).");
}

}  // namespace
}  // namespace tarnel::platform
