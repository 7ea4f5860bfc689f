#include <QAction>
#include <QDate>
#include <QLineEdit>
#include <QTest>

#include "app/WindowFixture.h"
#include "ui/AfPortControls.h"

namespace tarnel::test {

// A technician's whole session with one device: pick the port, find the device, give it address "A" at
// 19200 bit/s, follow it with the port speed, read its values at the new address, burn a serial number.
TEST_F(WindowTest, OneDeviceFromFindingToBurningItsSerialNumber) {
  sim::TDeviceConfig config;
  config.Address = 49;
  config.Speed = 9600;
  config.Info = "HRW;hall 3";
  config.Values = Bytes({0x01, 0x80, 0x00, 0xFA, 0x02, 0x80, 0x01, 0xF4, 0x03, 0x80, 0x00, 0x64});
  AddDevice(config);
  StartLine();

  Window->cbComPort1->UpdatePortList();
  const int entry = Window->cbComPort1->findText("COM 1");
  ASSERT_GE(entry, 0);
  Window->cbComPort1->setCurrentIndex(entry);
  Window->cbComPort1->Change();
  ASSERT_TRUE(Window->AfComPort1->Active());
  EXPECT_EQ(Window->shpxOpenClose->Caption(), "Close port");

  Window->cbOneDeviceOnLine->click();
  Window->cbbOldAddress->setCurrentIndex(0);
  Click(Window->shpxGetAdrorSn);
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 49);

  Window->cbbNewAddress->setCurrentIndex(65);
  Window->cbbNewSpeed->setCurrentIndex(4);
  Click(Window->shpxUpdate);
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text, "New address and communication speed succesfully set.");

  Window->cbbOldSpeed->setCurrentIndex(4);
  EXPECT_EQ(Sim.PortSpeed(), 19200);
  Window->cbbNewAddress->setCurrentIndex(65);
  Click(Window->shpxReadValues);
  EXPECT_EQ(LogLines(),
            (std::vector<QString>{
                "Modul with address \"1\" - no rsponse while reading values",
                "Modul with address \"A\" - INFO : HRW;hall 3",
                QString::fromUtf8("Modul with address \"A\" - temperature: 25.0°C humidity: 50.0% "
                                  "dew point: 10.0 Valid: 1")}));

  Window->rbSerialNumber->click();
  ASSERT_TRUE(Window->medtSerialNumber->isEnabled());
  QTest::keyClicks(Window->medtSerialNumber, "20261208");
  Window->Vypalitsriovslo1->trigger();
  EXPECT_EQ(LogLines().back(), QString::fromUtf8("Sériové číslo bylo nastaveno."));

  ASSERT_TRUE(Sim.WaitIdle(std::chrono::seconds(2)));
  const sim::TDeviceState device = Sim.Devices()[0];
  EXPECT_EQ(device.Address, 65);
  EXPECT_EQ(device.Speed, 19200);
  EXPECT_EQ(device.Serial.N1, 2026);
  EXPECT_EQ(device.Serial.N2, 1208);
  EXPECT_EQ(device.DateText(), QDate::currentDate().toString("yyyy-MM-dd").toStdString());
}

}  // namespace tarnel::test
