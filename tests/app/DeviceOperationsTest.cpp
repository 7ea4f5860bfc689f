#include <QAction>
#include <QDate>
#include <QLineEdit>
#include <thread>

#include "app/WindowFixture.h"
#include "protocol/Packet97.h"

namespace tarnel::test {
namespace {

const QString kNoModule = "No module found on selected communication interface!";

sim::TDeviceConfig Device(uint8_t Address, const std::string& Info = "HRW;hall sensor") {
  sim::TDeviceConfig config;
  config.Address = Address;
  config.Speed = 9600;
  config.Info = Info;
  return config;
}

}  // namespace

class FindDeviceTest : public WindowTest {
 protected:
  void FindWith(std::initializer_list<sim::TDeviceConfig> Devices) {
    for (const sim::TDeviceConfig& device : Devices)
      AddDevice(device);
    StartLine();
    OpenPort();
    Window->cbOneDeviceOnLine->click();
    Window->cbbOldAddress->setCurrentIndex(100);
    Click(Window->shpxGetAdrorSn);
  }
};

TEST_F(FindDeviceTest, TheAnsweringAddressIsSelectedWithoutAMessage) {
  FindWith({Device(0)});
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 0);
  EXPECT_TRUE(Boxes->Shown().empty());
  const auto heard = PacketsHeard();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].Bytes, Bytes({0x2A, 0x61, 0x00, 0x05, 0xFE, 0xF3, 0xF3, 0x8B, 0x0D}));
}

TEST_F(FindDeviceTest, ADeviceAt49IsSelected) {
  FindWith({Device(49)});
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 49);
  EXPECT_TRUE(Boxes->Shown().empty());
}

TEST_F(FindDeviceTest, ASilentLineShowsNoModuleFound) {
  Boxes->Answer = QMessageBox::No;  // no search at the other speeds
  FindWith({});
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, kNoModule);
  EXPECT_EQ(Boxes->Shown()[0].Title, "TarnelCommunicationSetup2");
  EXPECT_EQ(Boxes->Shown()[0].Icon, QMessageBox::NoIcon);
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 100);
}

// Nothing at 9600 bit/s: the user lets the window search, and the device at 1200 bit/s (tried last) is found;
// the speed list and the port follow it.
TEST_F(FindDeviceTest, ASearchOfTheOtherSpeedsFindsTheDeviceAndTheSpeedListFollows) {
  sim::TDeviceConfig slow = Device(53);
  slow.Speed = 1200;
  FindWith({slow});
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, kNoModule);
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 53);
  EXPECT_EQ(Window->cbbOldSpeed->currentText(), "1200");
  EXPECT_EQ(Sim.PortSpeed(), 1200);
  std::vector<int32_t> speeds;
  for (const sim::THeardRequest& heard : PacketsHeard())
    speeds.push_back(heard.Speed);
  EXPECT_EQ(speeds, (std::vector<int32_t>{9600, 19200, 115200, 57600, 38400, 4800, 2400, 1200}));

  // Searched in vain, the window says so a second time and stays at its speed.
  Sim.SetFaults(0, sim::TDeviceFaults{.Silent = true});
  Boxes->Clear();
  Click(Window->shpxGetAdrorSn);
  ASSERT_EQ(Boxes->Shown().size(), 2u);
  EXPECT_EQ(Boxes->Shown()[1].Text, kNoModule);
  EXPECT_EQ(Sim.PortSpeed(), 1200);
}

TEST_F(FindDeviceTest, AnAddressOutsideTheListShowsNoModuleFound) {
  FindWith({Device(255)});
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, kNoModule);
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 100);
}

TEST_F(FindDeviceTest, CollidingAnswersAndRefusalsEndSilently) {
  FindWith({Device(3), Device(4)});
  EXPECT_TRUE(Boxes->Shown().empty());
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 100);

  sim::TDeviceFaults refuse;
  refuse.RefuseCode = 9;
  Sim.SetFaults(0, refuse);
  Sim.SetFaults(1, sim::TDeviceFaults{.Silent = true});
  Click(Window->shpxGetAdrorSn);
  EXPECT_TRUE(Boxes->Shown().empty());
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 100);
}

class SetAddressTest : public WindowTest {
 protected:
  void SetUpLine(const sim::TDeviceConfig& Config) {
    AddDevice(Config);
    StartLine();
    OpenPort();
  }
};

TEST_F(SetAddressTest, ByCurrentAddressAsksPermissionThenSetsAddressAndSpeed) {
  SetUpLine(Device(49));
  Window->cbbNewAddress->setCurrentIndex(65);
  Window->cbbNewSpeed->setCurrentIndex(4);  // 19200
  Click(Window->shpxUpdate);
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, "New address and communication speed succesfully set.");
  EXPECT_EQ(Boxes->Shown()[0].Title, "TarnelCommunicationSetup2");
  const auto heard = PacketsHeard();
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[0].Bytes, BuildPacket97(65, 1, 0xF3, ""));  // is the new place free?
  EXPECT_EQ(heard[0].Speed, 19200);
  EXPECT_EQ(heard[1].Bytes, BuildPacket97(49, 1, 0xE4, ""));
  EXPECT_EQ(heard[2].Bytes, BuildPacket97(49, 1, 0xE0, Bytes({65, 7})));
  ASSERT_TRUE(Sim.WaitIdle(std::chrono::seconds(2)));
  EXPECT_EQ(Sim.Devices()[0].Address, 65);
  EXPECT_EQ(Sim.Devices()[0].Speed, 19200);
  // The window follows neither value: the port keeps its speed and the old address stays chosen.
  EXPECT_EQ(Window->AfComPort1->BaudRate(), br9600);
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 49);
}

TEST_F(SetAddressTest, ARefusedPermissionStopsBeforeTheSetRequest) {
  sim::TDeviceConfig config = Device(49);
  config.Faults.RefuseCode = 2;
  SetUpLine(config);
  Click(Window->shpxUpdate);
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, "No response from the module or write permission denied!");
  EXPECT_EQ(PacketsHeard().size(), 1u);  // its own place needs no look
}

TEST_F(SetAddressTest, ARefusedSetRequestReportsParametersNotSet) {
  SetUpLine(Device(49));
  // The device grants the permission, then refuses what follows.
  std::thread refuseLater([this] {
    if (Sim.WaitForRequests(1, std::chrono::seconds(5)))
      Sim.SetFaults(0, sim::TDeviceFaults{.RefuseCode = 3});
  });
  Click(Window->shpxUpdate);
  refuseLater.join();
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, "Error, new parameters not set!");
  EXPECT_EQ(PacketsHeard().size(), 2u);
  EXPECT_EQ(Sim.Devices()[0].Address, 49);
}

TEST_F(SetAddressTest, BySerialNumberSendsOneUniversalRequest) {
  sim::TDeviceConfig config = Device(49);
  config.Serial = {123, 4567};
  SetUpLine(config);
  Window->rbSerialNumber->click();
  Window->medtSerialNumber->setText("0123\\4567");
  Window->cbbNewAddress->setCurrentIndex(5);
  Click(Window->shpxUpdate);
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, "New address set succesfully.");
  const auto heard = PacketsHeard();
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].Bytes, BuildPacket97(5, 1, 0xF3, ""));
  EXPECT_EQ(heard[1].Bytes, BuildPacket97(254, 1, 0xEB, Bytes({5, 0x00, 0x7B, 0x11, 0xD7})));
  ASSERT_TRUE(Sim.WaitIdle(std::chrono::seconds(2)));
  EXPECT_EQ(Sim.Devices()[0].Address, 5);

  Window->medtSerialNumber->setText("0123\\4568");  // nobody has that number
  Window->cbbNewAddress->setCurrentIndex(6);
  Click(Window->shpxUpdate);
  ASSERT_EQ(Boxes->Shown().size(), 2u);
  EXPECT_EQ(Boxes->Shown()[1].Text, "Error, new address not set!");
}

TEST_F(SetAddressTest, ALostAnswerIsCheckedOnceAtTheNewAddressAndSpeed) {
  SetUpLine(Device(49));
  Window->cbbNewAddress->setCurrentIndex(65);
  Window->cbbNewSpeed->setCurrentIndex(4);  // 19200
  // The device takes the new settings, but its answer is damaged on the way.
  std::thread damageLater([this] {
    if (!Sim.WaitForRequests(2, std::chrono::seconds(5))) return;
    Sim.SetFaults(0, sim::TDeviceFaults{.BadChecksum = true});
    // The window waits a quiet line after the damaged answer: time enough to heal before it looks again.
    if (Sim.WaitForRequests(3, std::chrono::seconds(5))) Sim.WaitForAnswers(2, std::chrono::seconds(5));
    Sim.SetFaults(0, {});
  });
  Click(Window->shpxUpdate);
  damageLater.join();
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, "New address and communication speed succesfully set.");
  auto heard = PacketsHeard();
  ASSERT_EQ(heard.size(), 4u);
  EXPECT_EQ(heard[3].Bytes, BuildPacket97(65, 1, 0xF3, ""));
  EXPECT_EQ(heard[3].Speed, 19200);
  EXPECT_EQ(Window->AfComPort1->BaudRate(), br9600);  // the port is back at the speed the window shows
}

TEST_F(SetAddressTest, ASilentSetRequestIsReportedAfterOneLookAtTheNewPlace) {
  SetUpLine(Device(49));
  Window->cbbNewAddress->setCurrentIndex(65);
  std::thread silenceLater([this] {
    if (Sim.WaitForRequests(2, std::chrono::seconds(5))) Sim.SetFaults(0, sim::TDeviceFaults{.Silent = true});
  });
  Click(Window->shpxUpdate);
  silenceLater.join();
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, "Error, new parameters not set!");
  const auto heard = PacketsHeard();
  ASSERT_EQ(heard.size(), 4u);
  EXPECT_EQ(heard[3].Bytes, BuildPacket97(65, 1, 0xF3, ""));
  EXPECT_EQ(Sim.Devices()[0].Address, 49);
}

TEST_F(SetAddressTest, TwoDevicesWithOneSerialNumberAreReportedAsSeveral) {
  sim::TDeviceConfig first = Device(3), second = Device(4);
  first.Serial = second.Serial = {1111, 2222};
  AddDevice(first);
  SetUpLine(second);
  Window->rbSerialNumber->click();
  Window->medtSerialNumber->setText("1111\\2222");
  Window->cbbNewAddress->setCurrentIndex(9);
  Click(Window->shpxUpdate);
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text,
            "Several devices answered to this serial number: each of them may now have the new address!");
}

// An empty field would move every unnumbered device (0000\0000), a partial one every device with those
// digits.
TEST_F(SetAddressTest, AnEmptyOrPartlyTypedSerialNumberSendsNothing) {
  SetUpLine(Device(49));
  Window->rbSerialNumber->click();
  Window->cbbNewAddress->setCurrentIndex(7);
  for (const QString& text : {QString(), QString("12")}) {
    Window->medtSerialNumber->setText(text);
    Click(Window->shpxUpdate);
  }
  ASSERT_EQ(Boxes->Shown().size(), 2u);
  for (const TShownBox& box : Boxes->Shown())
    EXPECT_TRUE(box.Text.startsWith("Type the whole serial number: eight digits 0-9"))
        << box.Text.toStdString();
  EXPECT_TRUE(Sim.Requests().empty());
}

// Staggered answers of two devices with one serial number: the second, 120 ms after the first, is heard.
TEST_F(SetAddressTest, ASecondAnswerToTheSerialNumberIsHeardAndReportedAsSeveral) {
  sim::TDeviceConfig first = Device(3), second = Device(4);
  first.Serial = second.Serial = {1111, 2222};
  second.Faults.AnswerDelayMs = 120;
  AddDevice(first);
  SetUpLine(second);
  Window->rbSerialNumber->click();
  Window->medtSerialNumber->setText("1111\\2222");
  Window->cbbNewAddress->setCurrentIndex(9);
  Click(Window->shpxUpdate);
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text,
            "Several devices answered to this serial number: each of them may now have the new address!");
}

// The device moved, but its answer to 0xEB never came: the free new place now answers, so it is set.
TEST_F(SetAddressTest, ALostSerialAnswerIsCheckedAtTheNewAddress) {
  sim::TDeviceConfig config = Device(49);
  config.Serial = {123, 4567};
  config.Faults.LostAnswer = true;
  SetUpLine(config);
  Window->rbSerialNumber->click();
  Window->medtSerialNumber->setText("0123\\4567");
  Window->cbbNewAddress->setCurrentIndex(5);
  std::thread answerAgain([this] {
    if (Sim.WaitForRequests(2, std::chrono::seconds(5))) Sim.SetFaults(0, {});
  });
  Click(Window->shpxUpdate);
  answerAgain.join();
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, "New address set succesfully.");
  const auto heard = PacketsHeard();
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[2].Bytes, BuildPacket97(5, 1, 0xF3, ""));
}

class OccupiedAddressTest : public SetAddressTest {
 protected:
  // The device to move sits at 49 at 9600; another one already answers at 65 at 19200.
  void SetUp() override {
    SetAddressTest::SetUp();
    sim::TDeviceConfig other = Device(65, "VKM7;other sensor");
    other.Speed = 19200;
    AddDevice(other);
    SetUpLine(Device(49));
    Window->cbbNewAddress->setCurrentIndex(65);
    Window->cbbNewSpeed->setCurrentIndex(4);  // 19200
  }
};

TEST_F(OccupiedAddressTest, TheUserIsToldWhoIsThereAndNoSendsNothing) {
  Boxes->Answer = QMessageBox::No;
  Click(Window->shpxUpdate);
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Icon, QMessageBox::Warning);
  EXPECT_EQ(Boxes->Shown()[0].Default, QMessageBox::No);
  EXPECT_TRUE(Boxes->Shown()[0].Text.startsWith(
      "A device already answers at address \"A\" at 19200 bit/s: \"VKM7;other sensor\"."));
  ASSERT_EQ(PacketsHeard().size(), 1u);
  EXPECT_EQ(PacketsHeard()[0].Bytes, BuildPacket97(65, 1, 0xF3, ""));
  EXPECT_EQ(Sim.Devices()[1].Address, 49);
}

// The device ignores 0xE0: the one answering at 65 afterwards is the other device, never a success.
TEST_F(OccupiedAddressTest, AnotherDeviceAnsweringThereAfterwardsIsNoSuccess) {
  std::thread ignoreTheChange([this] {
    if (Sim.WaitForRequests(3, std::chrono::seconds(5))) Sim.SetFaults(1, sim::TDeviceFaults{.Silent = true});
  });
  Click(Window->shpxUpdate);
  ignoreTheChange.join();
  ASSERT_EQ(Boxes->Shown().size(), 2u);  // the question, then the outcome
  EXPECT_TRUE(Boxes->Shown()[1].Text.startsWith("Another device answers at the new address"));
  const auto heard = PacketsHeard();
  ASSERT_EQ(heard.size(), 5u);  // new place, own INFO, 0xE4, 0xE0, new place again
  EXPECT_EQ(heard[1].Bytes, BuildPacket97(49, 1, 0xF3, ""));
  EXPECT_EQ(heard[4].Bytes, BuildPacket97(65, 1, 0xF3, ""));
  EXPECT_EQ(Sim.Devices()[1].Address, 49);
}

class ReadValuesTest : public WindowTest {
 protected:
  void ReadFrom(const sim::TDeviceConfig& Config, int NewAddress = 49) {
    AddDevice(Config);
    StartLine();
    OpenPort();
    Window->cbbOldAddress->setCurrentIndex(Config.Address);
    Window->cbbNewAddress->setCurrentIndex(NewAddress);
    Click(Window->shpxReadValues);
  }
  static QString Line(int Address, const QString& Rest) {
    return "Modul with address \"" + AddressText(Address) + "\" - " + Rest;
  }
};

TEST_F(ReadValuesTest, TemperatureHumidityDewPointDevice) {
  sim::TDeviceConfig config = Device(49, "hrw;hall 3");  // the key is compared in upper case
  config.Values = Bytes({0x01, 0x80, 0x00, 0xEB, 0x02, 0x80, 0x01, 0xF4, 0x03, 0x00, 0x00, 0x64});
  ReadFrom(config);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], Line(49, "INFO : hrw;hall 3"));
  EXPECT_EQ(lines[1],
            Line(49, QString::fromUtf8("temperature: 23.5°C humidity: 50.0% dew point: 10.0 Valid: 0")));
  const auto heard = PacketsHeard();
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].Bytes, BuildPacket97(49, 1, 0xF3, ""));
  EXPECT_EQ(heard[1].Bytes, BuildPacket97(49, 2, 0x51, Bytes({0})));
}

TEST_F(ReadValuesTest, SingleTemperatureDevice) {
  sim::TDeviceConfig config = Device(49, "VKM7;boiler");
  config.Values = Bytes({0xFF, 0xE0});
  ReadFrom(config);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], Line(49, "temperature: -1.0"));
  EXPECT_EQ(PacketsHeard()[1].Bytes, BuildPacket97(49, 2, 0x51, ""));
}

TEST_F(ReadValuesTest, FourChannelDeviceLogsOneLinePerChannel) {
  sim::TDeviceConfig config = Device(65, "KQ6x;analog");
  config.Values = Bytes({1, 0x80, 0x13, 0x88, 2, 0x80, 0x27, 0x10, 3, 0x08, 0xFF, 0xFF, 4, 0x04, 0, 0});
  ReadFrom(config, 65);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], " channel 1: ( value: 10.00, valid: 1, overflow:0, underflow:0 )");
  EXPECT_EQ(lines[3], " channel 3: ( value: 131.07, valid: 0, overflow:1, underflow:0 )");
  EXPECT_EQ(lines[4], " channel 4: ( value: 0.00, valid: 0, overflow:0, underflow:1 )");
}

TEST_F(ReadValuesTest, DamagedAndMisshapenValueAnswersGetTheFamilysLine) {
  struct TCase {
    std::string Info;
    QString Damaged;
    QString Misshapen;
  };
  const TCase cases[] = {
      {"HRW;a", "Incorrect tarnel data read", "Incorrect data while reading values"},
      {"VKM7;b", "Incorrect tarnel data", "Incorrect temperature data"},
      {"KQ6;c", "Incorrect tarnel data", "Error parsing received measurement data !"},
  };
  AddDevice(Device(49));
  StartLine();
  OpenPort();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Info);
    Sim.SetInfo(0, c.Info);
    Sim.SetValues(0, Bytes({1, 2, 3}));  // no family's layout
    Sim.SetFaults(0, {});
    Click(Window->shpxReadValues);
    EXPECT_EQ(LogLines(), (std::vector<QString>{Line(49, "INFO : " + QString::fromStdString(c.Info)),
                                                Line(49, c.Misshapen)}));
    // The INFO answer is sound, the values answer has a broken checksum.
    Sim.ClearRecords();
    std::thread damageLater([this] {
      if (Sim.WaitForRequests(1, std::chrono::seconds(5)))
        Sim.SetFaults(0, sim::TDeviceFaults{.BadChecksum = true});
    });
    Click(Window->shpxReadValues);
    damageLater.join();
    ASSERT_EQ(LogLines().size(), 2u);
    EXPECT_EQ(LogLines()[1], Line(49, c.Damaged));
  }
}

TEST_F(ReadValuesTest, ADamagedInfoAnswerSuggestsASharedAddress) {
  sim::TDeviceConfig config = Device(49);
  config.Faults.BadChecksum = true;
  ReadFrom(config);
  EXPECT_EQ(LogLines(),
            std::vector<QString>{
                Line(49, "Incorrect response for INFO request (maybe a module with the same address?)")});
  EXPECT_EQ(PacketsHeard().size(), 1u);
}

TEST_F(ReadValuesTest, UnknownModelsAndInfoWithoutSemicolonGetNoValueRequest) {
  ReadFrom(Device(49, "HRW"));
  EXPECT_EQ(LogLines(), std::vector<QString>{Line(49, "INFO : HRW")});
  EXPECT_EQ(PacketsHeard().size(), 1u);
  Sim.SetInfo(0, "VKM7X;longer model");
  Click(Window->shpxReadValues);
  EXPECT_EQ(LogLines(), std::vector<QString>{Line(49, "INFO : VKM7X;longer model")});
  EXPECT_EQ(PacketsHeard().size(), 2u);
}

TEST_F(ReadValuesTest, ARefusedInfoIsNoResponseAndTheSecondAddressIsAskedToo) {
  sim::TDeviceConfig config = Device(49);
  config.Faults.RefuseCode = 4;
  ReadFrom(config, 65);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], Line(49, "no rsponse while reading values"));
  EXPECT_EQ(lines[1], Line(65, "no rsponse while reading values"));
}

TEST_F(WindowTest, ReadingWithTheNewAddressOnAClosedPortLogsExactlyTwoLines) {
  Window->cbbNewAddress->setCurrentIndex(65);
  Click(Window->shpxReadValues);
  EXPECT_EQ(LogLines(), (std::vector<QString>{"Modul with address \"1\" - no rsponse while reading values",
                                              "Modul with address \"A\" - no rsponse while reading values"}));
}

class BurnSerialTest : public WindowTest {
 protected:
  void Burn(const sim::TDeviceConfig& Config, const QString& Serial) {
    AddDevice(Config);
    StartLine();
    OpenPort();
    Window->rbSerialNumber->click();
    Window->medtSerialNumber->setText(Serial);
    Window->Vypalitsriovslo1->trigger();
  }
};

TEST_F(BurnSerialTest, SendsTheNumberAndTodaysDateToTheUniversalAddress) {
  const QDate today = QDate::currentDate();
  Burn(Device(49), "0123\\4567");
  ASSERT_EQ(LogLines(), std::vector<QString>{QString::fromUtf8("Sériové číslo bylo nastaveno.")});
  const auto heard = PacketsHeard();
  ASSERT_EQ(heard.size(), 1u);
  auto bcd = [](int v) { return (v / 10) * 16 + v % 10; };
  EXPECT_EQ(heard[0].Bytes,
            BuildPacket97(254, 0xEA, 0xEA,
                          Bytes({0x00, 0x7B, 0x11, 0xD7, bcd(today.year() / 100), bcd(today.year() % 100),
                                 bcd(today.month()), bcd(today.day())})));
  ASSERT_TRUE(Sim.WaitIdle(std::chrono::seconds(2)));
  EXPECT_EQ(Sim.Devices()[0].Serial.N1, 123);
  EXPECT_EQ(Sim.Devices()[0].DateText(), today.toString("yyyy-MM-dd").toStdString());
}

TEST_F(BurnSerialTest, OnlyACodeZeroAnswerFromADeviceIsSuccess) {
  sim::TDeviceConfig config = Device(49);
  config.Faults.RefuseCode = 6;
  Burn(config, "0001\\0002");
  EXPECT_EQ(LogLines(), std::vector<QString>{"The device refused the serial number (result code 6)."});
  // A converter's echo of the request, with nobody answering, is no answer at all.
  Sim.SetFaults(0, sim::TDeviceFaults{.Silent = true, .Echo = true});
  Window->mLog->clear();
  Window->Vypalitsriovslo1->trigger();
  EXPECT_EQ(LogLines(),
            std::vector<QString>{"No device answered: the serial number 0001\\0002 was probably not "
                                 "written (is the device connected, at this speed?)."});
  Window->mLog->clear();
  Sim.SetFaults(0, sim::TDeviceFaults{.BadChecksum = true});
  Window->Vypalitsriovslo1->trigger();
  EXPECT_EQ(LogLines().size(), 1u);
  EXPECT_TRUE(LogLines()[0].startsWith("The answer to the serial number write was damaged"));
}

TEST_F(BurnSerialTest, TwoDevicesTakingTheNumberAreNotReportedAsSuccess) {
  AddDevice(Device(3));
  sim::TDeviceConfig later = Device(4);
  later.Faults.AnswerDelayMs = 120;  // two whole, valid answers one after the other
  Burn(later, "5555\\6666");
  EXPECT_EQ(LogLines(),
            std::vector<QString>{
                "Several devices answered: each of them may have taken the serial number 5555\\6666."});
  ASSERT_TRUE(Sim.WaitIdle(std::chrono::seconds(2)));
  EXPECT_EQ(Sim.Devices()[0].Serial.N1, 5555);  // why the confirmation warns: both took it
  EXPECT_EQ(Sim.Devices()[1].Serial.N1, 5555);
}

TEST_F(BurnSerialTest, AnIncompleteOrNonAsciiNumberIsRefusedBeforeAnythingIsSent) {
  AddDevice(Device(49));
  StartLine();
  OpenPort();
  Window->rbSerialNumber->click();
  for (const QString& text : {QString(), QString("12"), QString::fromUtf8("０１２３\\４５６７")}) {
    Window->medtSerialNumber->setText(text);
    Window->Vypalitsriovslo1->trigger();
  }
  ASSERT_EQ(Boxes->Shown().size(), 3u);
  for (const TShownBox& box : Boxes->Shown())
    EXPECT_TRUE(box.Text.startsWith("Type the whole serial number: eight digits 0-9"))
        << box.Text.toStdString();
  EXPECT_TRUE(Sim.Requests().empty());
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(BurnSerialTest, TheConfirmationNamesNumberDateAndEveryDeviceOnTheLine) {
  Boxes->Answer = QMessageBox::No;
  Burn(Device(49), "0123\\4567");
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  const TShownBox asked = Boxes->Shown()[0];
  EXPECT_EQ(asked.Icon, QMessageBox::Warning);  // "only one device" is not ticked
  EXPECT_TRUE(asked.Text.contains("0123\\4567"));
  EXPECT_TRUE(asked.Text.contains(QDate::currentDate().toString(Qt::ISODate)));
  EXPECT_TRUE(asked.Text.contains("every device on the line"));
  EXPECT_TRUE(asked.Text.contains("\"Only one sensor / module on this line\" is not ticked"));
  EXPECT_TRUE(Sim.Requests().empty());
  EXPECT_TRUE(LogLines().empty());

  Window->cbOneDeviceOnLine->click();
  Window->rbSerialNumber->click();
  Window->medtSerialNumber->setText("0123\\4567");
  Boxes->Answer = QMessageBox::Yes;
  Window->Vypalitsriovslo1->trigger();
  ASSERT_EQ(Boxes->Shown().size(), 2u);
  EXPECT_EQ(Boxes->Shown()[1].Icon, QMessageBox::Question);
  EXPECT_FALSE(Boxes->Shown()[1].Text.contains("is not ticked"));
  EXPECT_EQ(LogLines(), std::vector<QString>{QString::fromUtf8("Sériové číslo bylo nastaveno.")});
}

}  // namespace tarnel::test
