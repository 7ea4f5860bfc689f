#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "UiPosts.h"
#include "serial/AfComPort.h"
#include "serial/AfSafeSync.h"
#include "serial/ApplicationErrors.h"
#include "support/PtyPair.h"
#include "support/UiThreadWait.h"

namespace tarnel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::MsSince;
using test::PumpUntil;

void PumpFor(int Ms) {
  PumpUntil([] { return false; }, Ms);
}

bool OnUiThread() {
  return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// The message of what F raises; empty when it raises nothing.
template <typename F>
std::string MessageOf(F&& Action) {
  try {
    Action();
  } catch (const std::exception& E) {
    return E.what();
  }
  return {};
}

// ---- settings: no device needed

class ComPortSettingsTest : public ::testing::Test {
 protected:
  ComPortSettingsTest() { Port.setObjectName("AfComPort1"); }
  TAfComPort Port;
};

TEST_F(ComPortSettingsTest, NewComponentHasDefaults) {
  EXPECT_EQ(Port.BaudRate(), br115200);
  EXPECT_EQ(Port.Databits(), db8);
  EXPECT_EQ(Port.Parity(), paNone);
  EXPECT_EQ(Port.Stopbits(), sbOne);
  EXPECT_EQ(Port.FlowControl(), fwNone);
  EXPECT_TRUE(Port.DTR());
  EXPECT_TRUE(Port.RTS());
  EXPECT_EQ(Port.InBufSize(), 4096);
  EXPECT_EQ(Port.OutBufSize(), 2048);
  EXPECT_FALSE(Port.AutoOpen());
  EXPECT_EQ(Port.EventThreadPriority(), tpNormal);
  EXPECT_EQ(Port.WriteThreadPriority(), tpHighest);
  EXPECT_EQ(Port.XOnChar(), 17);
  EXPECT_EQ(Port.XOffChar(), 19);
  EXPECT_EQ(Port.ComNumber(), 0);
  EXPECT_EQ(Port.PortName(), "COM0");
  EXPECT_FALSE(Port.Active());
  EXPECT_FALSE(Port.ShowConfigDialog());
  EXPECT_NE(Port.SyncId(), 0u);

  const DCB& Block = Port.Dcb();
  EXPECT_EQ(Block.DCBlength, 28u);
  EXPECT_EQ(Block.BaudRate, 115200u);
  EXPECT_EQ(Block.Flags, 0x1011u);
  EXPECT_EQ(Block.ByteSize, 8);
  EXPECT_EQ(Block.Parity, NOPARITY);
  EXPECT_EQ(Block.StopBits, ONESTOPBIT);
  EXPECT_EQ(Block.XonChar, 17);
  EXPECT_EQ(Block.XoffChar, 19);
}

TEST_F(ComPortSettingsTest, XOnXOffSetsLimitsAndFlags) {
  Port.SetFlowControl(fwXOnXOff);
  EXPECT_EQ(Port.XOnLim(), 1024);
  EXPECT_EQ(Port.XOffLim(), 3072);
  EXPECT_EQ(Port.Dcb().Flags, 0x1311u);
  EXPECT_EQ(Port.Dcb().XonLim, 1024);
  EXPECT_EQ(Port.Dcb().XoffLim, 3072);
  Port.SetFlowControl(fwNone);
  EXPECT_EQ(Port.XOnLim(), 0);
  EXPECT_EQ(Port.XOffLim(), 0);
  EXPECT_EQ(Port.Dcb().Flags, 0x1011u);
}

TEST_F(ComPortSettingsTest, HandshakeFlowLeavesItsLineEnableOut) {
  Port.SetFlowControl(fwRtsCts);
  EXPECT_EQ(Port.Dcb().Flags, 0x2015u);
  Port.SetFlowControl(fwDtrDsr);
  EXPECT_EQ(Port.Dcb().Flags, 0x1029u);
}

TEST_F(ComPortSettingsTest, OptionsAddTheirFlags) {
  Port.SetOptions(ComOption(coParityCheck) | ComOption(coDsrSensitivity) | ComOption(coIgnoreXOff) |
                  ComOption(coErrorChar) | ComOption(coStripNull));
  EXPECT_EQ(Port.Dcb().Flags, 0x1011u | 0x0002 | 0x0040 | 0x0080 | 0x0400 | 0x0800);
  Port.SetOptions(ComOption(coParityCheck));
  EXPECT_EQ(Port.Dcb().Flags, 0x1013u);
}

TEST_F(ComPortSettingsTest, DtrAndRtsOffDropTheirEnableFlagsAtNextRebuild) {
  Port.SetDTR(false);
  Port.SetRTS(false);
  EXPECT_EQ(Port.Dcb().Flags, 0x1011u) << "DTR and RTS do not rebuild the block";
  Port.SetParity(paEven);
  EXPECT_EQ(Port.Dcb().Flags, 0x0001u);
  EXPECT_EQ(Port.Dcb().Parity, EVENPARITY);
}

TEST_F(ComPortSettingsTest, BaudRateAndUserBaudRate) {
  Port.SetUserBaudRate(250000);
  EXPECT_EQ(Port.BaudRate(), brUser);
  EXPECT_EQ(Port.Dcb().BaudRate, 250000u);
  Port.SetBaudRate(br9600);
  EXPECT_EQ(Port.UserBaudRate(), 0);
  EXPECT_EQ(Port.Dcb().BaudRate, 9600u);
  Port.SetBaudRate(brUser);
  EXPECT_EQ(Port.Dcb().BaudRate, 0u);
}

TEST_F(ComPortSettingsTest, LineShapeReachesTheBlock) {
  Port.SetDatabits(db7);
  Port.SetParity(paMark);
  Port.SetStopbits(sbTwo);
  Port.SetXOnChar('A');
  Port.SetXOffChar('B');
  EXPECT_EQ(Port.Dcb().ByteSize, 7);
  EXPECT_EQ(Port.Dcb().Parity, MARKPARITY);
  EXPECT_EQ(Port.Dcb().StopBits, TWOSTOPBITS);
  EXPECT_EQ(Port.Dcb().XonChar, 'A');
  EXPECT_EQ(Port.Dcb().XoffChar, 'B');
}

TEST_F(ComPortSettingsTest, FlowLimitsFollowEachOtherWithoutRebuild) {
  Port.SetXOnLim(1000);
  EXPECT_EQ(Port.XOffLim(), 3096);
  EXPECT_EQ(Port.Dcb().XonLim, 0) << "limits alone do not rebuild the block";
  Port.SetXOffLim(100);
  EXPECT_EQ(Port.XOnLim(), 3996);
}

TEST_F(ComPortSettingsTest, FlowLimitsOutsideTheirRangeAreClamped) {
  Port.SetXOffLim(5000);  // 4096 - 5000 is below 0
  EXPECT_EQ(Port.XOnLim(), 0);
  Port.SetInBufSize(200000);
  Port.SetXOnLim(10);  // 200000 - 10 is above 65535
  EXPECT_EQ(Port.XOffLim(), 65535);
  Port.SetInBufSize(400000);
  Port.SetFlowControl(fwXOnXOff);  // a quarter is 100000
  EXPECT_EQ(Port.XOnLim(), 65535);
  EXPECT_EQ(Port.XOffLim(), 65535);
}

TEST_F(ComPortSettingsTest, BaudRateTable) {
  EXPECT_EQ(BaudRateValue(br110), 110);
  EXPECT_EQ(BaudRateValue(br9600), 9600);
  EXPECT_EQ(BaudRateValue(br14400), 14400);
  EXPECT_EQ(BaudRateValue(br56000), 56000);
  EXPECT_EQ(BaudRateValue(br115200), 115200);
  EXPECT_EQ(BaudRateValue(br256000), 256000);
  EXPECT_EQ(BaudRateValue(brUser), 0);
}

DCB BlockWith(uint32_t Speed, uint32_t Flags) {
  DCB Block{};
  Block.DCBlength = 28;
  Block.BaudRate = Speed;
  Block.Flags = Flags;
  Block.ByteSize = 8;
  return Block;
}

TEST_F(ComPortSettingsTest, ApplyDcbFindsTableSpeed) {
  Port.SetUserBaudRate(250000);
  Port.ApplyDCB(BlockWith(9600, 0x0001));
  EXPECT_EQ(Port.BaudRate(), br9600);
  EXPECT_EQ(Port.UserBaudRate(), 0);
  EXPECT_EQ(Port.Dcb().BaudRate, 9600u);
}

TEST_F(ComPortSettingsTest, ApplyDcbTakesOtherSpeedAsUserBaudRate) {
  Port.ApplyDCB(BlockWith(250000, 0x0001));
  EXPECT_EQ(Port.BaudRate(), brUser);
  EXPECT_EQ(Port.UserBaudRate(), 250000);
  EXPECT_EQ(Port.Dcb().BaudRate, 250000u);
}

TEST_F(ComPortSettingsTest, ApplyDcbPicksFlowControlInOrder) {
  Port.ApplyDCB(BlockWith(9600, 0x0300 | 0x2004));
  EXPECT_EQ(Port.FlowControl(), fwRtsCts);
  Port.ApplyDCB(BlockWith(9600, 0x0028 | 0x2004));
  EXPECT_EQ(Port.FlowControl(), fwDtrDsr);
  Port.ApplyDCB(BlockWith(9600, 0x0300));
  EXPECT_EQ(Port.FlowControl(), fwXOnXOff);
  Port.ApplyDCB(BlockWith(9600, 0x0100 | 0x0004));  // only halves of pairs
  EXPECT_EQ(Port.FlowControl(), fwNone);
}

TEST_F(ComPortSettingsTest, ApplyDcbTakesShapeOptionsAndCharacters) {
  Port.SetDTR(false);
  DCB Block = BlockWith(19200, 0x0002 | 0x0800);
  Block.ByteSize = 7;
  Block.Parity = ODDPARITY;
  Block.StopBits = TWOSTOPBITS;
  Block.XonChar = 'x';
  Block.XoffChar = 'y';
  Block.XonLim = 11;
  Block.XoffLim = 22;
  Port.ApplyDCB(Block);
  EXPECT_EQ(Port.Databits(), db7);
  EXPECT_EQ(Port.Parity(), paOdd);
  EXPECT_EQ(Port.Stopbits(), sbTwo);
  EXPECT_EQ(Port.Options(), ComOption(coParityCheck) | ComOption(coStripNull));
  EXPECT_EQ(Port.XOnChar(), 'x');
  EXPECT_EQ(Port.XOffChar(), 'y');
  EXPECT_EQ(Port.XOnLim(), 11);
  EXPECT_EQ(Port.XOffLim(), 22);
  EXPECT_FALSE(Port.DTR()) << "DTR and RTS are left as they are";
  EXPECT_TRUE(Port.RTS());
  EXPECT_EQ(Port.Dcb().Flags, 0x0002u | 0x0800 | 0x0001 | 0x1000);
}

TEST_F(ComPortSettingsTest, ApplyDcbOutOfRangeShapeFallsBack) {
  Port.SetDatabits(db5);
  DCB Block = BlockWith(9600, 0);
  Block.ByteSize = 3;
  Block.Parity = 9;
  Block.StopBits = 7;
  Port.ApplyDCB(Block);
  EXPECT_EQ(Port.Databits(), db8);
  EXPECT_EQ(Port.Parity(), paNone);
  EXPECT_EQ(Port.Stopbits(), sbOne);
}

TEST_F(ComPortSettingsTest, ApplyDcbWithWrongLengthTakesNothing) {
  DCB Block = BlockWith(9600, 0x0300);
  Block.DCBlength = 27;
  EXPECT_EQ(MessageOf([&] { Port.ApplyDCB(Block); }), "Error setting parameters from DCB - AfComPort1 ");
  EXPECT_THROW(Port.ApplyDCB(Block), EAfComPortError);
  EXPECT_EQ(Port.BaudRate(), br115200);
  EXPECT_EQ(Port.FlowControl(), fwNone);
  EXPECT_EQ(Port.Dcb().BaudRate, 115200u);
}

TEST_F(ComPortSettingsTest, DataOperationsOnClosedPort) {
  EXPECT_EQ(MessageOf([&] { Port.WriteData("hello", 5); }),
            "Write data error [requested: 5, free: 0] - AfComPort1 ");
  char Buffer[4];
  EXPECT_EQ(MessageOf([&] { Port.ReadData(Buffer, 4); }), "Read data error - AfComPort1 ");
  EXPECT_EQ(Port.ReadString(), "");
  EXPECT_EQ(Port.ReadBufUsed(), 0);
  EXPECT_EQ(Port.WriteBufFree(), 0);
  Port.PurgeRx();
  Port.PurgeTx();
}

TEST_F(ComPortSettingsTest, CloseOnClosedPortFiresOnPortClose) {
  int Closes = 0;
  Port.OnPortClose = [&](QObject* Sender) {
    EXPECT_EQ(Sender, &Port);
    ++Closes;
  };
  Port.Close();
  Port.SetActive(false);
  EXPECT_EQ(Closes, 2);
}

TEST_F(ComPortSettingsTest, ComNumberOnClosedPortFiresNothing) {
  int Events = 0;
  Port.OnPortClose = [&](QObject*) { ++Events; };
  Port.OnPortOpen = [&](QObject*) { ++Events; };
  Port.SetComNumber(7);
  EXPECT_EQ(Port.ComNumber(), 7);
  EXPECT_EQ(Port.PortName(), "COM7");
  EXPECT_EQ(Events, 0);
}

TEST_F(ComPortSettingsTest, PortNumberZeroIsRefusedAndCursorRestored) {
  int Begun = 0, Ended = 0, Opens = 0;
  TAfComPort::SetBusyCursorHooks([&] { ++Begun; }, [&] { ++Ended; });
  Port.OnPortOpen = [&](QObject*) { ++Opens; };
  std::string Message;
  try {
    Port.Open();
  } catch (const EAfComPortCoreError& E) {
    Message = E.what();
  }
  TAfComPort::SetBusyCursorHooks(nullptr, nullptr);
  EXPECT_EQ(Message, "Invalid port number (COM0)") << "the core's error passes unchanged";
  EXPECT_FALSE(Port.Active());
  EXPECT_EQ(Opens, 0);
  EXPECT_EQ(Begun, 1);
  EXPECT_EQ(Ended, 1);
}

TEST_F(ComPortSettingsTest, LoadedWithoutAutoOpenRebuildsOnly) {
  int Opens = 0;
  Port.OnPortOpen = [&](QObject*) { ++Opens; };
  Port.Loaded();
  EXPECT_FALSE(Port.Active());
  EXPECT_EQ(Opens, 0);
  EXPECT_EQ(Port.Dcb().Flags, 0x1011u);
}

// ---- on a pseudo-terminal

class ComPortLineTest : public ::testing::Test {
 protected:
  ComPortLineTest() : Line(5) {
    Port = std::make_unique<TAfComPort>();
    Port->setObjectName("AfComPort1");
    Port->SetComNumber(5);
  }
  ~ComPortLineTest() override {
    Port.reset();
    SetApplicationExceptionHandler(nullptr);
  }

  test::PtyPair& Pty() { return Line.Pty(); }

  test::PtyPort Line;
  std::unique_ptr<TAfComPort> Port;
};

TEST_F(ComPortLineTest, OpenAndCloseFireTheirEvents) {
  std::vector<std::string> Events;
  Port->OnPortOpen = [&](QObject*) { Events.push_back("open"); };
  Port->OnPortClose = [&](QObject*) { Events.push_back("close"); };
  Port->SetActive(true);
  EXPECT_TRUE(Port->Active());
  Port->Open();  // already open: nothing
  Port->Close();
  EXPECT_FALSE(Port->Active());
  EXPECT_EQ(Events, (std::vector<std::string>{"open", "close"}));
}

TEST_F(ComPortLineTest, BusyCursorShownAroundSuccessfulOpen) {
  int Begun = 0, Ended = 0;
  bool OpenDuringBusy = false;
  TAfComPort::SetBusyCursorHooks([&] { ++Begun; },
                                 [&] {
                                   OpenDuringBusy = Port->Core()->IsOpen();
                                   ++Ended;
                                 });
  Port->Open();
  TAfComPort::SetBusyCursorHooks(nullptr, nullptr);
  EXPECT_EQ(Begun, 1);
  EXPECT_EQ(Ended, 1);
  EXPECT_TRUE(OpenDuringBusy) << "the cursor comes back after the core has opened";
}

TEST_F(ComPortLineTest, FailingCloseHandlerDoesNotLeaveThePortMuted) {
  Port->OnPortClose = [](QObject*) { throw EAfComPortError("close handler failed"); };
  Port->Open();
  EXPECT_EQ(MessageOf([&] { Port->Close(); }), "close handler failed");
  EXPECT_FALSE(Port->Active());
  // Muted operations would do nothing; a closed port refuses the write aloud.
  EXPECT_EQ(MessageOf([&] { Port->WriteData("after", 5); }),
            "Write data error [requested: 5, free: 0] - AfComPort1 ");
}

TEST_F(ComPortLineTest, LoadedWithAutoOpenOpens) {
  Port->SetAutoOpen(true);
  Port->Loaded();
  EXPECT_TRUE(Port->Active());
}

TEST_F(ComPortLineTest, ComNumberChangeOnOpenPortReopens) {
  test::PtyPair Other;
  Line.Dir().Link(6, Other.SlavePath());
  Port->Open();
  std::vector<std::string> Events;
  Port->OnPortOpen = [&](QObject*) { Events.push_back("open"); };
  Port->OnPortClose = [&](QObject*) { Events.push_back("close"); };
  Port->SetComNumber(6);
  EXPECT_EQ(Events, (std::vector<std::string>{"close", "open"}));
  EXPECT_TRUE(Port->Active());
  Port->WriteData("x", 1);
  EXPECT_EQ(Other.ReadExactly(1), "x") << "the port now is COM6";
}

TEST_F(ComPortLineTest, BufferSizesCannotChangeWhileOpen) {
  Port->Open();
  EXPECT_EQ(MessageOf([&] { Port->SetInBufSize(8192); }), "Port is not closed - AfComPort1 ");
  EXPECT_EQ(MessageOf([&] { Port->SetOutBufSize(100); }), "Port is not closed - AfComPort1 ");
  EXPECT_EQ(MessageOf([&] { Port->SetInBufSize(4096); }), "") << "the same value is no change";
  EXPECT_EQ(Port->InBufSize(), 4096);
  Port->Close();
  Port->SetInBufSize(8192);
  EXPECT_EQ(Port->InBufSize(), 8192);
}

TEST_F(ComPortLineTest, RejectedSettingLeavesBlockMirroringThePort) {
  Port->SetBaudRate(br19200);
  Port->Open();
  EXPECT_EQ(MessageOf([&] { Port->SetDatabits(db4); }), "Error setting parameters from DCB");
  EXPECT_EQ(Port->Databits(), db4) << "the property keeps what was set";
  EXPECT_EQ(Port->Dcb().ByteSize, 8);
  EXPECT_EQ(Port->Dcb().BaudRate, 19200u);
  EXPECT_TRUE(Port->Active());
}

TEST_F(ComPortLineTest, LineControlOnPseudoTerminalIsQuiet) {
  Port->Open();
  Port->SetDTR(false);
  Port->SetRTS(false);
  EXPECT_FALSE(Port->DTR());
  EXPECT_FALSE(Port->RTS());
}

TEST_F(ComPortLineTest, WrittenBytesArriveAndOutBufFreeFollows) {
  std::atomic<int> Frees{0};
  std::atomic<bool> FreeOnUi{false};
  Port->OnOutBufFree = [&](QObject*) {
    FreeOnUi = OnUiThread();
    ++Frees;
  };
  Port->Open();
  EXPECT_EQ(Port->WriteBufFree(), 2048);
  const std::string Data("hel\0lo", 6);
  Port->WriteData(Data.data(), 6);
  EXPECT_EQ(Pty().ReadExactly(6), Data);
  EXPECT_TRUE(PumpUntil([&] { return Frees.load() > 0; }));
  EXPECT_TRUE(FreeOnUi.load());
}

// The UI thread serves nothing here, as in an exchange. A report handed over to it would hold the event
// thread for the whole 2000 ms of the delivery and end in the silent abort.
TEST_F(ComPortLineTest, AReportNoHandlerTakesStaysOffTheBusyUiThread) {
  std::atomic<int> OutFreeDone{0};
  const TAfCoreEventHandler Component = Port->Core()->OnCoreEvent;
  Port->Core()->OnCoreEvent = [Component, &OutFreeDone](TAfComPortCore* Core, TAfCoreEvent Kind,
                                                        uint32_t Data, std::exception_ptr Error) {
    Component(Core, Kind, Data, std::move(Error));
    if (Kind == ceOutFree) ++OutFreeDone;
  };
  Port->Open();
  const int Posted = test::UiPosts();
  const auto Start = Clock::now();
  Port->WriteData("abc", 3);
  EXPECT_EQ(Pty().ReadExactly(3), "abc");
  while (OutFreeDone.load() == 0 && MsSince(Start) < 10000)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(OutFreeDone.load(), 1);
  EXPECT_LT(MsSince(Start), 1500);
  EXPECT_EQ(test::UiPosts(), Posted);
  Port->Close();  // no report may reach OutFreeDone once it is gone
}

TEST_F(ComPortLineTest, WriteOfNothingOrTooMuchIsRefused) {
  Port->Open();
  EXPECT_EQ(MessageOf([&] { Port->WriteData("", 0); }),
            "Write data error [requested: 0, free: 2048] - AfComPort1 ");
  std::string Big(3000, 'z');
  EXPECT_EQ(MessageOf([&] { Port->WriteData(Big.data(), 3000); }),
            "Write data error [requested: 3000, free: 2048] - AfComPort1 ");
}

TEST_F(ComPortLineTest, ReadStringReturnsExactlyTheBytesWaiting) {
  Port->Open();
  EXPECT_EQ(Port->ReadString(), "");
  const std::string Sent("\x01\x00\x11\x13\xff", 5);
  ASSERT_TRUE(Pty().WriteAll(Sent));
  ASSERT_TRUE(PumpUntil([&] { return Port->ReadBufUsed() == 5; }));
  EXPECT_EQ(Port->ReadString(), Sent);
  EXPECT_EQ(Port->ReadBufUsed(), 0);
  EXPECT_EQ(Port->ReadString(), "");
}

TEST_F(ComPortLineTest, ReadDataWantsTheExactCount) {
  Port->Open();
  ASSERT_TRUE(Pty().WriteAll("abcdef"));
  ASSERT_TRUE(PumpUntil([&] { return Port->ReadBufUsed() == 6; }));
  char Buffer[16] = {};
  Port->ReadData(Buffer, 4);
  EXPECT_EQ(std::string(Buffer, 4), "abcd");
  EXPECT_EQ(MessageOf([&] { Port->ReadData(Buffer, 5); }), "Read data error - AfComPort1 ");
}

TEST_F(ComPortLineTest, PurgeRxDiscardsWaitingInput) {
  Port->Open();
  ASSERT_TRUE(Pty().WriteAll("junk"));
  ASSERT_TRUE(PumpUntil([&] { return Port->ReadBufUsed() == 4; }));
  Port->PurgeRx();
  EXPECT_EQ(Port->ReadBufUsed(), 0);
  Port->PurgeTx();
}

TEST_F(ComPortLineTest, ReceivedDataIsReportedOnUiThread) {
  std::vector<TAfCoreEvent> SyncKinds;
  std::atomic<int> Count{-1};
  std::atomic<bool> DataOnUi{false};
  Port->OnSyncEvent = [&](QObject*, TAfCoreEvent Kind, uint32_t) { SyncKinds.push_back(Kind); };
  Port->OnDataRecived = [&](QObject* Sender, int32_t N) {
    EXPECT_EQ(Sender, Port.get());
    DataOnUi = OnUiThread();
    Count = N;
  };
  Port->Open();
  ASSERT_TRUE(Pty().WriteAll("0123456789"));
  ASSERT_TRUE(PumpUntil([&] { return Count.load() == 10; }));
  EXPECT_TRUE(DataOnUi.load());
  ASSERT_FALSE(SyncKinds.empty());
  EXPECT_TRUE(SyncKinds.back() == ceLineEvent || SyncKinds.back() == ceNeedReadData);
}

TEST_F(ComPortLineTest, UnreadDataIsReportedAgainUntilRead) {
  std::atomic<int> Reports{0};
  Port->OnDataRecived = [&](QObject*, int32_t N) {
    if (N == 3) ++Reports;
  };
  Port->Open();
  ASSERT_TRUE(Pty().WriteAll("abc"));
  ASSERT_TRUE(PumpUntil([&] { return Reports.load() >= 3; }));
  EXPECT_EQ(Port->ReadString(), "abc");
  PumpFor(300);
  int After = Reports.load();
  PumpFor(600);
  EXPECT_EQ(Reports.load(), After) << "no reports once read";
}

TEST_F(ComPortLineTest, NonSyncEventDivertsToEventThread) {
  std::atomic<int> NonSync{0};
  std::atomic<bool> OffUi{false};
  std::atomic<int> Synced{0};
  Port->OnNonSyncEvent = [&](QObject*, TAfCoreEvent Kind, uint32_t) {
    if (Kind == ceLineEvent || Kind == ceNeedReadData) {
      OffUi = !OnUiThread();
      ++NonSync;
    }
  };
  Port->OnDataRecived = [&](QObject*, int32_t) { ++Synced; };
  Port->OnSyncEvent = [&](QObject*, TAfCoreEvent, uint32_t) { ++Synced; };
  Port->Open();
  ASSERT_TRUE(Pty().WriteAll("abc"));
  ASSERT_TRUE(PumpUntil([&] { return NonSync.load() > 0; }));
  PumpFor(500);
  EXPECT_TRUE(OffUi.load());
  EXPECT_EQ(Synced.load(), 0);
}

// What the application's handler was given, seen from the UI thread.
struct TCaughtErrors {
  std::mutex Lock;
  std::vector<std::string> Messages;
  bool AllOnUi = true;
  void Install() {
    SetApplicationExceptionHandler([this](std::exception_ptr Error) {
      std::lock_guard<std::mutex> Guard(Lock);
      AllOnUi = AllOnUi && OnUiThread();
      try {
        std::rethrow_exception(Error);
      } catch (const std::exception& E) {
        Messages.push_back(E.what());
      }
    });
  }
  size_t Count() {
    std::lock_guard<std::mutex> Guard(Lock);
    return Messages.size();
  }
};

TEST_F(ComPortLineTest, HandlerExceptionGoesToApplicationAndEventsGoOn) {
  TCaughtErrors Caught;
  Caught.Install();
  std::atomic<int> Calls{0};
  Port->OnDataRecived = [&](QObject*, int32_t) {
    if (++Calls == 1) throw EAfComPortError("handler failed");
  };
  Port->Open();
  ASSERT_TRUE(Pty().WriteAll("a"));
  ASSERT_TRUE(PumpUntil([&] { return Calls.load() >= 2; })) << "later events still arrive";
  ASSERT_GE(Caught.Count(), 1u);
  EXPECT_EQ(Caught.Messages[0], "handler failed");
  EXPECT_TRUE(Caught.AllOnUi);
}

TEST_F(ComPortLineTest, EventThreadExceptionIsShownOnUiThread) {
  TCaughtErrors Caught;
  Caught.Install();
  std::atomic<int> Calls{0};
  Port->OnNonSyncEvent = [&](QObject*, TAfCoreEvent Kind, uint32_t) {
    if (Kind == ceNeedReadData && ++Calls == 1) throw EAfComPortError("event thread failed");
  };
  Port->Open();
  ASSERT_TRUE(Pty().WriteAll("a"));
  ASSERT_TRUE(PumpUntil([&] { return Caught.Count() >= 1 && Calls.load() >= 2; }));
  EXPECT_EQ(Caught.Messages[0], "event thread failed");
  EXPECT_TRUE(Caught.AllOnUi);
}

TEST_F(ComPortLineTest, CloseDoesNotWaitForDeliveryToBusyUiThread) {
  std::atomic<int> Reports{0};
  Port->OnDataRecived = [&](QObject*, int32_t) { ++Reports; };
  Port->Open();
  const int Posted = test::UiPosts();
  ASSERT_TRUE(Pty().WriteAll("waiting"));
  // The UI thread serves nothing now, so the event thread sits in a delivery.
  ASSERT_TRUE(test::WaitForUiPostsAfter(Posted)) << "the event thread never handed the arrival over";
  auto Start = Clock::now();
  Port->Close();
  EXPECT_LT(MsSince(Start), 1500) << "a delivery in progress must not hold up the close";
  PumpFor(300);
  EXPECT_EQ(Reports.load(), 0) << "a delivery given up during the close must not run";
}

TEST_F(ComPortLineTest, DestroyingOpenPortFiresNoCloseAndDoesNotHang) {
  int Closes = 0;
  Port->OnPortClose = [&](QObject*) { ++Closes; };
  Port->OnDataRecived = [](QObject*, int32_t) {};  // so that the arrival is handed over
  Port->Open();
  const int Posted = test::UiPosts();
  ASSERT_TRUE(Pty().WriteAll("pending"));
  ASSERT_TRUE(test::WaitForUiPostsAfter(Posted)) << "the event thread never handed the arrival over";
  auto Start = Clock::now();
  Port.reset();
  EXPECT_LT(MsSince(Start), 1500);
  EXPECT_EQ(Closes, 0);
}

TEST_F(ComPortLineTest, ClosingWhileFloodedWithSlowHandlerNeverHangs) {
  std::atomic<bool> Stop{false};
  std::thread Flood([&] {
    const std::string Chunk(256, 'f');
    while (!Stop) {
      if (write(Pty().Master(), Chunk.data(), Chunk.size()) <= 0) std::this_thread::sleep_for(1ms);
      Pty().ReadAvailable();
    }
  });
  std::atomic<int> Reports{0};
  Port->OnDataRecived = [&](QObject*, int32_t) {
    ++Reports;
    std::this_thread::sleep_for(20ms);
  };
  int64_t Slowest = 0;
  for (int Cycle = 0; Cycle < 8; ++Cycle) {
    Port->Open();
    Port->WriteData("ping", 4);
    PumpFor(60);
    auto Start = Clock::now();
    Port->Close();
    Slowest = std::max(Slowest, MsSince(Start));
  }
  // Closing from inside a handler, with the event thread waiting for that very handler.
  Port->OnDataRecived = [&](QObject*, int32_t) {
    ++Reports;
    Port->Close();
  };
  Port->Open();
  EXPECT_TRUE(PumpUntil([&] { return !Port->Active(); }));
  Stop = true;
  Flood.join();
  EXPECT_GT(Reports.load(), 0);
  EXPECT_LT(Slowest, 1500);
}

TEST_F(ComPortLineTest, ComponentWithoutSlotGetsNoEvents) {
  std::vector<std::unique_ptr<TAfComPort>> Others;
  std::unique_ptr<TAfComPort> Last;
  for (int I = 0; I <= TSafeSyncService::SlotCount && !Last; ++I) {
    auto Next = std::make_unique<TAfComPort>();
    if (Next->SyncId() == 0)
      Last = std::move(Next);
    else
      Others.push_back(std::move(Next));
  }
  ASSERT_TRUE(Last) << "the 65th component must find no slot";
  Port.reset();  // frees a slot; the slotless component keeps having none
  std::atomic<int> Reports{0};
  Last->OnDataRecived = [&](QObject*, int32_t) { ++Reports; };
  Last->SetComNumber(5);
  Last->Open();
  ASSERT_TRUE(Pty().WriteAll("lost"));
  PumpFor(700);
  EXPECT_EQ(Reports.load(), 0);
  EXPECT_EQ(Last->ReadString(), "lost") << "the bytes stay readable";
  Last->Close();
}

// ---- a device that goes away while the port is open

class ComPortLossTest : public ComPortLineTest {
 protected:
  ~ComPortLossTest() override {
    Port.reset();
    SetApplicationExceptionHandler(nullptr);
  }
  void SetUp() override {
    Caught.Install();
    Port->OnPortClose = [this](QObject*) { ++Closes; };
    Port->Open();
    ASSERT_TRUE(Port->Active());
  }
  // The adapter is pulled; the UI thread serves nothing meanwhile.
  void Unplug() {
    Pty().CloseMaster();
    const auto Deadline = Clock::now() + 5s;
    while (!Port->DeviceGone() && Clock::now() < Deadline)
      std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(Port->DeviceGone());
  }
  // Another adapter takes the number, and the port opens on it.
  void PlugInAgain() {
    Line.Dir().Link(5, Fresh.SlavePath());
    Port->Open();
    ASSERT_TRUE(Port->Active());
    ASSERT_FALSE(Port->DeviceGone());
    Port->WriteData("new", 3);
    EXPECT_EQ(Fresh.ReadExactly(3), "new");
  }

  TCaughtErrors Caught;
  int Closes = 0;
  test::PtyPair Fresh;
  const std::string Lost = "COM5 was lost: the device has gone away (unplugged?). The port has been closed.";
};

TEST_F(ComPortLossTest, TheEventThreadClosesThePortAndOneMessageNamesIt) {
  Unplug();
  ASSERT_TRUE(PumpUntil([&] { return !Port->Active(); }, 10000));
  PumpFor(2500);  // past a delivery time-out: nothing is offered twice
  EXPECT_EQ(Closes, 1);
  ASSERT_EQ(Caught.Count(), 1u);
  EXPECT_EQ(Caught.Messages[0], Lost);
  EXPECT_TRUE(Caught.AllOnUi);
  EXPECT_THROW(Port->WriteData("late", 4), EAbort) << "the loss was told; no write error follows";
  PlugInAgain();
  EXPECT_EQ(Caught.Count(), 1u);
}

TEST_F(ComPortLossTest, AWriteThatFindsTheDeviceGoneRaisesTheLossInstead) {
  Unplug();
  EXPECT_EQ(MessageOf([&] { Port->WriteData("during", 6); }), Lost);
  EXPECT_FALSE(Port->Active());
  EXPECT_EQ(Closes, 1);
  PumpFor(500);
  EXPECT_EQ(Caught.Count(), 0u) << "the event thread's report of the same loss is dropped";
  EXPECT_EQ(Closes, 1);
}

TEST_F(ComPortLossTest, OpeningAGonePortOpensItsDeviceAnew) {
  Unplug();
  PlugInAgain();
  EXPECT_EQ(Closes, 1);
  PumpFor(500);
  EXPECT_EQ(Caught.Count(), 0u);
  EXPECT_TRUE(Port->Active());
}

}  // namespace
}  // namespace tarnel
