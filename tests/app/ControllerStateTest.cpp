#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QAction>
#include <QFile>
#include <QTest>

#include <thread>

#include "app/Application.h"
#include "app/WindowFixture.h"
#include "support/PtyPair.h"
#include "ui/AfPortControls.h"

namespace tarnel::test {
namespace {

struct TEnabling {
  bool Open;
  bool BySerial;
  bool OneDevice;
};

void ExpectAlwaysUsable(TfMain& w) {
  for (QWidget* control : std::initializer_list<QWidget*>{w.cbComPort1, w.cbbOldSpeed, w.cbOneDeviceOnLine,
                                                          w.mLog, w.shpxReadValues, w.shpxCloseApp, w.l9})
    EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
  EXPECT_FALSE(w.lblSensorInfo->isEnabled());
}

void ExpectEnabling(TfMain& w, const TEnabling& s) {
  SCOPED_TRACE(testing::Message() << "open " << s.Open << " serial " << s.BySerial << " one " << s.OneDevice);
  const bool byAddress = !s.BySerial;
  EXPECT_EQ(w.shpxOpenClose->Caption(), s.Open ? "Close port" : "Open port");
  for (QWidget* control : std::initializer_list<QWidget*>{w.p2, w.p3, w.rbByOldADR, w.rbSerialNumber,
                                                          w.cbbNewAddress, w.lNewAddress, w.shpxUpdate,
                                                          w.shpxScanLine, w.lblStitekExample, w.img1})
    EXPECT_EQ(control->isEnabled(), s.Open) << control->objectName().toStdString();
  EXPECT_EQ(w.shpxGetAdrorSn->isEnabled(), s.Open && s.OneDevice && byAddress);
  EXPECT_EQ(w.cbbOldAddress->isEnabled(), s.Open && byAddress);
  EXPECT_EQ(w.medtSerialNumber->isEnabled(), s.Open && s.BySerial);
  EXPECT_EQ(w.lNewSpeed->isEnabled(), s.Open && byAddress);
  EXPECT_EQ(w.cbbNewSpeed->isEnabled(), s.Open && byAddress);
  ExpectAlwaysUsable(w);
}

}  // namespace

TEST_F(WindowTest, AtStartNoPortIsChosenAndOnlyStepOneAndTheLogAreUsable) {
  EXPECT_FALSE(Window->shpxOpenClose->isEnabled());
  ExpectEnabling(*Window, {false, false, false});
  EXPECT_EQ(Window->cbbOldAddress->count(), 255);
  EXPECT_EQ(Window->cbbNewAddress->count(), 254);
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 49);
  EXPECT_EQ(Window->cbbNewAddress->currentText(), "1");
  EXPECT_EQ(Window->cbbOldAddress->itemText(254), QString(QChar(254)));
  EXPECT_EQ(Window->cbbOldAddress->itemText(0).size(), 1);
}

TEST_F(WindowTest, EnablingFollowsThePortTheModeAndTheOneDeviceCheckBox) {
  StartLine();
  OpenPort();
  for (bool bySerial : {false, true}) {
    for (bool oneDevice : {false, true}) {
      if (Window->cbOneDeviceOnLine->isChecked() != oneDevice) Window->cbOneDeviceOnLine->click();
      (bySerial ? Window->rbSerialNumber : Window->rbByOldADR)->click();
      ExpectEnabling(*Window, {true, bySerial, oneDevice});
    }
  }
  Click(Window->shpxOpenClose);
  ASSERT_FALSE(Window->AfComPort1->Active());
  EXPECT_TRUE(Window->shpxOpenClose->isEnabled());  // the port number stays chosen
  ExpectEnabling(*Window, {false, true, true});
}

TEST_F(WindowTest, EveryRunOfTheStateHandlerSelectsAddress49Again) {
  Window->cbbOldAddress->setCurrentIndex(65);
  Window->cbbNewAddress->setCurrentIndex(0);
  Window->cbOneDeviceOnLine->click();  // with the port closed
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 49);
  EXPECT_EQ(Window->cbbNewAddress->currentIndex(), 49);
  EXPECT_FALSE(Window->p2->isEnabled());
}

TEST_F(WindowTest, SpeedListSetsThePortSpeedAndReachesTheLine) {
  const TAfBaudrate expected[] = {br1200, br2400, br4800, br9600, br19200, br38400, br57600, br115200};
  for (int index = 0; index < 8; ++index) {
    Window->cbbOldSpeed->setCurrentIndex(index);
    EXPECT_EQ(Window->AfComPort1->BaudRate(), expected[index]) << index;
  }
  StartLine();
  Window->cbbOldSpeed->setCurrentIndex(4);
  OpenPort();
  EXPECT_EQ(Sim.PortSpeed(), 19200);
  Window->cbbOldSpeed->setCurrentIndex(6);  // applied to the open port at once
  EXPECT_EQ(Window->AfComPort1->BaudRate(), br57600);
  EXPECT_EQ(Sim.PortSpeed(), 57600);
}

TEST_F(WindowTest, ShowingTheWindowSetsEnglishTextsAndTheVersionOnce) {
  EXPECT_EQ(Window->lblCaption->text(), "Tarnel device address setup");
  EXPECT_EQ(Window->lblCommunicationSpeed->text(), "Serial speed");
  EXPECT_EQ(Window->cbOneDeviceOnLine->text(), "Only one sensor / module on this line");
  EXPECT_EQ(Window->rbSerialNumber->text(), "By serial number:");
  EXPECT_EQ(Window->shpxGetAdrorSn->Caption(), "Read");
  EXPECT_EQ(Window->lblSensorInfo->text(),
            "Sensor/Module Information (new and the old arres is used to obtain this information) ");
  EXPECT_EQ(Window->shpxCloseApp->Caption(), "Close application");
  EXPECT_EQ(Window->l1->text(), "1.");
  EXPECT_EQ(Window->Vypalitsriovslo1->text(), QString::fromUtf8("Vypalit sériové číslo"));
  EXPECT_EQ(Window->Caption(), "Tarnel Communication Setup v.2.0.3.0");
  Window->hide();
  Window->show();
  EXPECT_EQ(Window->Caption(), "Tarnel Communication Setup v.2.0.3.0");
}

TEST(ApplicationErrorText, APeriodFollowsOnlyALastCharacterSortingAfterThePeriod) {
  EXPECT_EQ(ApplicationErrorText("Port is open"), "Port is open.");
  EXPECT_EQ(ApplicationErrorText("Incorrect PACKET (Tarnel format 97)!"),
            "Incorrect PACKET (Tarnel format 97)!");
  EXPECT_EQ(ApplicationErrorText("Read data error - AfComPort1 "), "Read data error - AfComPort1 ");
  EXPECT_EQ(ApplicationErrorText("Invalid port number (COM0)"), "Invalid port number (COM0)");
  EXPECT_EQ(ApplicationErrorText("Done."), "Done.");
}

TEST_F(WindowTest, AMissingPortShowsTheOpenErrorAndTheWindowStaysClosed) {
  Window->AfComPort1->SetComNumber(7);  // nothing is linked as COM 7
  Window->AfComPortOpenClose(nullptr);
  Click(Window->shpxOpenClose);
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  const QStringList lines = Boxes->Shown()[0].Text.split('\n');
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0], "Invalid port number (COM7)");
  EXPECT_TRUE(lines[1].contains("TARNEL_COM_DIR has no entry COM7")) << lines[1].toStdString();
  EXPECT_EQ(Boxes->Shown()[0].Title, "TarnelCommunicationSetup2");
  EXPECT_EQ(Boxes->Shown()[0].Icon, QMessageBox::Critical);
  EXPECT_FALSE(Window->AfComPort1->Active());
  EXPECT_EQ(Window->shpxOpenClose->Caption(), "Open port");
}

TEST_F(WindowTest, AFailedPickInThePortListLeavesOpenPortUsableForAnotherTry) {
  PtyPair device;
  ASSERT_TRUE(QFile::link(QString::fromStdString(device.SlavePath()), ComDir.path() + "/COM2"));
  const int holder = ::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);  // another program holds the port
  TAfPortComboBox* list = Window->cbComPort1;
  list->showPopup();  // the list is read anew as it drops down
  list->hidePopup();
  const int entry = list->findText("COM 2");
  ASSERT_GE(entry, 0);
  list->setCurrentIndex(entry);
  emit list->activated(entry);
  QCoreApplication::sendPostedEvents(list, QEvent::MetaCall);
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_TRUE(Boxes->Shown()[0].Text.startsWith("Can't open device COM2.\n"))
      << Boxes->Shown()[0].Text.toStdString();
  EXPECT_FALSE(Window->AfComPort1->Active());
  EXPECT_TRUE(Window->shpxOpenClose->isEnabled());
  ::close(holder);
  Click(Window->shpxOpenClose);
  EXPECT_TRUE(Window->AfComPort1->Active());
}

// A packet that passes the check but is too short to split: the error box shows the parser's message and
// the program goes on.
TEST_F(WindowTest, AValidEightBytePacketShowsTheParseErrorAndTheProgramGoesOn) {
  PtyPair device;
  ASSERT_TRUE(QFile::link(QString::fromStdString(device.SlavePath()), ComDir.path() + "/COM1"));
  OpenPort();
  Window->cbOneDeviceOnLine->click();
  std::thread answer([&device] {
    const std::string request = device.ReadExactly(9, 5000);
    std::string packet = {'*', 'a', 0x00, 0x04, 0x31, static_cast<char>(0xF3)};
    int sum = 0;
    for (char c : packet)
      sum += static_cast<unsigned char>(c);
    packet.push_back(static_cast<char>(255 - sum % 256));
    packet.push_back('\r');
    if (request.size() == 9) device.WriteAll(packet);
  });
  Click(Window->shpxGetAdrorSn);
  answer.join();
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, "Incorrect PACKET (Tarnel format 97)!");
  EXPECT_EQ(Boxes->Shown()[0].Title, "TarnelCommunicationSetup2");
  EXPECT_EQ(Boxes->Shown()[0].Icon, QMessageBox::Critical);
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 49);
  // The window still works: the next exchange runs and reports the silent line.
  Boxes->Answer = QMessageBox::No;
  Click(Window->shpxGetAdrorSn);
  ASSERT_EQ(Boxes->Shown().size(), 2u);
  EXPECT_EQ(Boxes->Shown()[1].Text, "No module found on selected communication interface!");
}

}  // namespace tarnel::test
