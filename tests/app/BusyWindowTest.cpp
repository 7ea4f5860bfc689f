#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QTest>
#include <QTimer>
#include <atomic>

#include "app/WindowFixture.h"
#include "support/UiThreadWait.h"

namespace tarnel::test {

class BusyWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    AddDevice({.Address = 49, .Speed = 9600, .Info = "HRW;hall"});
  }
};

TEST_F(BusyWindowTest, ClicksMadeWhileAnExchangeBlocksTheWindowAreDropped) {
  // The user clicks "Set" and the check box while "Read Values" talks to the device.
  StartLine();
  OpenPort();
  Sim.ClearRecords();
  std::atomic<bool> clicked{false};
  bool delivered = false;  // the clicks reached the window (the UI thread alone touches it)
  Sim.SetLog([this, &clicked, &delivered](const std::string& Line) {
    if (Line.find("\"request\"") == std::string::npos || clicked.exchange(true)) return;
    QMetaObject::invokeMethod(
        qApp,
        [this, &delivered] {
          Click(Window->shpxUpdate);
          QTest::mouseClick(Window->cbOneDeviceOnLine, Qt::LeftButton);
          delivered = true;
        },
        Qt::QueuedConnection);
  });
  Click(Window->shpxReadValues);
  ASSERT_TRUE(clicked.load()) << "the device heard no request";
  // Clicks that were not dropped would run here at the latest, before the checks below.
  ASSERT_TRUE(PumpUntil([&] { return delivered; })) << "the clicks never reached the window";
  Sim.SetLog({});
  ASSERT_EQ(LogLines().size(), 2u);
  for (const auto& request : PacketsHeard())
    EXPECT_NE(static_cast<uint8_t>(request.Bytes[5]), 0xE4) << "a dropped click readdressed the device";
  EXPECT_FALSE(Window->cbOneDeviceOnLine->isChecked());
  EXPECT_TRUE(Boxes->Shown().empty());
  // Input after the exchange works as ever.
  QTest::mouseClick(Window->cbOneDeviceOnLine, Qt::LeftButton);
  EXPECT_TRUE(Window->cbOneDeviceOnLine->isChecked());
}

TEST_F(BusyWindowTest, TheWaitCursorShowsForTheExchangeAndGoesAfter) {
  StartLine();
  OpenPort();
  Window->cbOneDeviceOnLine->click();
  Qt::CursorShape during = Qt::ArrowCursor;
  bool seen = false;
  // Runs at the first moment the window processes anything once the click began: inside the exchange.
  QTimer::singleShot(0, [&] {
    seen = true;
    if (const QCursor* cursor = QApplication::overrideCursor()) during = cursor->shape();
  });
  Click(Window->shpxGetAdrorSn);
  EXPECT_TRUE(seen);
  EXPECT_EQ(during, Qt::WaitCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 49);
}

}  // namespace tarnel::test
