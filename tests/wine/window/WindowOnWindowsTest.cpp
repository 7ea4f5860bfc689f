#include <QRegularExpression>
#include <QTest>
#include <memory>

#include <gtest/gtest.h>

#include "app/MessageBoxWatcher.h"
#include "app/ufMain.h"
#include "ui/AfPortControls.h"

namespace tarnel::test {
namespace {

// The window as a Windows user meets it: Windows' own COM ports, with the simulated HRW device at address 5
// and 9600 bit/s on COM1 (the simulator runs on the Linux side of a pseudo-terminal that Wine maps as COM1).
class WindowOnWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Boxes = std::make_unique<TMessageBoxWatcher>();
    Window = std::make_unique<TfMain>();
    Window->show();
  }

  void TearDown() override {
    Window.reset();
    Boxes.reset();
  }

  // As a pick in the port list.
  void PickCom1() {
    Window->cbComPort1->UpdatePortList();
    const int entry = Window->cbComPort1->findText("COM 1");
    ASSERT_GE(entry, 0);
    Window->cbComPort1->setCurrentIndex(entry);
    Window->cbComPort1->Change();
    ASSERT_TRUE(Window->AfComPort1->Active());
  }

  int MatchingLogLines(const QString& Pattern) const {
    const QRegularExpression expression(Pattern);
    int count = 0;
    for (const QString& line : Window->mLog->toPlainText().split(QLatin1Char('\n')))
      count += expression.match(line).hasMatch() ? 1 : 0;
    return count;
  }

  std::unique_ptr<TMessageBoxWatcher> Boxes;
  std::unique_ptr<TfMain> Window;
};

TEST_F(WindowOnWindowsTest, CaptionCarriesTheVersionOfTheProgramFilesResourceAndTheTextsAreEnglish) {
  EXPECT_EQ(Window->windowTitle().toStdString(), "Tarnel Communication Setup v." TARNEL_EXPECTED_VERSION);
  EXPECT_EQ(Window->shpxGetAdrorSn->Caption().toStdString(), "Read");
  EXPECT_EQ(Window->shpxOpenClose->Caption().toStdString(), "Open port");
}

TEST_F(WindowOnWindowsTest, ThePortListOffersTheMappedPortByItsComNameAlone) {
  TAfPortComboBox* list = Window->cbComPort1;
  list->UpdatePortList();
  const int entry = list->findText("COM 1");
  ASSERT_GE(entry, 0);
  EXPECT_EQ(list->findText("COM 2"), -1) << "only COM1 is mapped";
  EXPECT_TRUE(list->itemData(entry, TAfPortComboBox::kDeviceRole).toString().isEmpty())
      << "no \\\\.\\COM1 beside the name: "
      << list->itemData(entry, TAfPortComboBox::kDeviceRole).toString().toStdString();
}

TEST_F(WindowOnWindowsTest, ATechnicianOpensCom1FindsTheDeviceAndReadsItsValues) {
  PickCom1();
  EXPECT_EQ(Window->shpxOpenClose->Caption().toStdString(), "Close port");
  Window->cbOneDeviceOnLine->click();
  Window->cbbOldAddress->setCurrentIndex(0);
  QTest::mouseClick(Window->shpxGetAdrorSn, Qt::LeftButton);
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 5);
  EXPECT_TRUE(Boxes->Shown().empty());

  Window->cbbNewAddress->setCurrentIndex(9);  // nothing answers there
  QTest::mouseClick(Window->shpxReadValues, Qt::LeftButton);
  EXPECT_EQ(MatchingLogLines("^Modul with address \".*\" - INFO : HRW;Tarnel simulated device$"), 1);
  EXPECT_EQ(MatchingLogLines(
                "^Modul with address \".*\" - temperature: .*°C humidity: 45.0% dew point: .* Valid: 1$"),
            1);
  EXPECT_EQ(MatchingLogLines("^Modul with address \".*\" - no rsponse while reading values$"), 1);
}

// Moved and moved back, so the device is at address 5 for whatever runs next.
TEST_F(WindowOnWindowsTest, SetGivesTheDeviceANewAddressAndBack) {
  PickCom1();
  Window->cbbNewSpeed->setCurrentIndex(Window->cbbNewSpeed->findText(Window->cbbOldSpeed->currentText()));
  ASSERT_EQ(Window->cbbNewSpeed->currentText().toStdString(), "9600");
  for (const auto& [from, to] : {std::pair{5, 6}, std::pair{6, 5}}) {
    Boxes->Clear();
    Window->cbbOldAddress->setCurrentIndex(from);
    Window->cbbNewAddress->setCurrentIndex(to);
    QTest::mouseClick(Window->shpxUpdate, Qt::LeftButton);
    ASSERT_EQ(Boxes->Shown().size(), 1u) << from << " to " << to;
    EXPECT_EQ(Boxes->Shown()[0].Text.toStdString(), "New address and communication speed succesfully set.");
  }
}

}  // namespace
}  // namespace tarnel::test
