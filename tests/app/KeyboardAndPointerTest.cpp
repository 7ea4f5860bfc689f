// The whole window from the keyboard, and the mouse over controls after their English texts came in.
#include <QApplication>
#include <QTest>
#include <vector>

#include "app/WindowFixture.h"

namespace tarnel::test {
namespace {

// Keys go to the focused control, which needs the window active.
class WindowInputTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    StartLine();
  }

  static QString Focused() {
    const QWidget* widget = QApplication::focusWidget();
    return widget ? widget->objectName() : QString();
  }
  static void Press(Qt::Key Key) { QTest::keyClick(QApplication::focusWidget(), Key); }
  static std::vector<QString> Walk(int Tabs) {
    std::vector<QString> walk{Focused()};
    for (int i = 0; i < Tabs; ++i) {
      Press(Qt::Key_Tab);
      walk.push_back(Focused());
    }
    return walk;
  }
};

// Tab stops at the checked one of the two mode buttons; the arrow keys choose the mode, as usual for a group.
TEST_F(WindowInputTest, TabWalksTheStepsAndSkipsWhatIsDisabled) {
  OpenPort();
  QTest::mouseClick(Window->cbOneDeviceOnLine, Qt::LeftButton);
  ASSERT_TRUE(Window->shpxGetAdrorSn->isEnabled());
  Window->cbComPort1->setFocus();
  EXPECT_EQ(Walk(13), (std::vector<QString>{"cbComPort1", "cbbOldSpeed", "cbOneDeviceOnLine", "shpxOpenClose",
                                            "rbByOldADR", "cbbOldAddress", "shpxGetAdrorSn", "cbbNewAddress",
                                            "cbbNewSpeed", "shpxUpdate", "mLog", "shpxReadValues",
                                            "shpxCloseApp", "cbComPort1"}));
  Window->rbByOldADR->setFocus();
  Press(Qt::Key_Down);
  EXPECT_TRUE(Window->rbSerialNumber->isChecked());
  EXPECT_EQ(Walk(3),
            (std::vector<QString>{"rbSerialNumber", "medtSerialNumber", "cbbNewAddress", "shpxUpdate"}));
}

TEST_F(WindowInputTest, EnterOpensThePortAndSpaceClosesIt) {
  Window->AfComPort1->SetComNumber(1);
  Window->AfComPortOpenClose(nullptr);
  Window->cbComPort1->setFocus();
  for (int i = 0; i < 3; ++i)
    Press(Qt::Key_Tab);
  ASSERT_EQ(Focused(), "shpxOpenClose");
  Press(Qt::Key_Return);
  EXPECT_TRUE(Window->AfComPort1->Active());
  EXPECT_EQ(Window->shpxOpenClose->Caption(), "Close port");
  Press(Qt::Key_Space);
  EXPECT_FALSE(Window->AfComPort1->Active());
  EXPECT_TRUE(Boxes->Shown().empty());
}

// Near the right end of each laid-out area, well past the end of the English text.
TEST_F(WindowInputTest, CheckBoxAndRadioButtonsTakeClicksOverTheirLaidOutWidth) {
  OpenPort();
  ASSERT_EQ(Window->cbOneDeviceOnLine->text(), "Only one sensor / module on this line");
  EXPECT_EQ(Window->cbOneDeviceOnLine->geometry(), QRect(26, 116, 370, 17));
  EXPECT_EQ(Window->rbByOldADR->geometry(), QRect(34, 53, 167, 17));
  EXPECT_EQ(Window->rbSerialNumber->geometry(), QRect(34, 85, 175, 17));
  const auto clickRightEnd = [](QWidget* Control) {
    QTest::mouseClick(Control, Qt::LeftButton, {}, QPoint(Control->width() - 3, Control->height() / 2));
  };
  clickRightEnd(Window->cbOneDeviceOnLine);
  EXPECT_TRUE(Window->cbOneDeviceOnLine->isChecked());
  EXPECT_TRUE(Window->shpxGetAdrorSn->isEnabled()) << "the click's handler ran";
  clickRightEnd(Window->rbSerialNumber);
  EXPECT_TRUE(Window->rbSerialNumber->isChecked());
  EXPECT_TRUE(Window->medtSerialNumber->isEnabled());
  clickRightEnd(Window->rbByOldADR);
  EXPECT_TRUE(Window->rbByOldADR->isChecked());
  EXPECT_FALSE(Window->medtSerialNumber->isEnabled());
}

}  // namespace
}  // namespace tarnel::test
