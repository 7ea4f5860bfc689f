// Controls after the show handler put in their English texts, which are shorter than the laid-out areas.
#include <QTest>

#include "app/WindowFixture.h"

namespace tarnel::test {
namespace {

TEST_F(WindowTest, CheckBoxAndModeButtonsTakeClicksOverTheirLaidOutWidth) {
  StartLine();
  OpenPort();
  ASSERT_EQ(Window->cbOneDeviceOnLine->text(), "Only one sensor / module on this line");
  EXPECT_EQ(Window->cbOneDeviceOnLine->geometry(), QRect(26, 116, 370, 17));
  EXPECT_EQ(Window->rbByOldADR->geometry(), QRect(34, 53, 167, 17));
  EXPECT_EQ(Window->rbSerialNumber->geometry(), QRect(34, 85, 175, 17));
  const auto clickRightEnd = [](QWidget* Control) {
    QTest::mouseClick(Control, Qt::LeftButton, {}, QPoint(Control->width() - 3, Control->height() / 2));
  };
  clickRightEnd(Window->cbOneDeviceOnLine);
  EXPECT_TRUE(Window->shpxGetAdrorSn->isEnabled()) << "checked, and the click's handler ran";
  clickRightEnd(Window->rbSerialNumber);
  EXPECT_TRUE(Window->medtSerialNumber->isEnabled());
  clickRightEnd(Window->rbByOldADR);
  EXPECT_TRUE(Window->rbByOldADR->isChecked());
}

}  // namespace
}  // namespace tarnel::test
