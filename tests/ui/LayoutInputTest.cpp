#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <memory>

#include <gtest/gtest.h>

#include "support/PtyPair.h"
#include "ui/fMainLayout.h"

namespace tarnel {
namespace {

// The window shown and active, with two pseudo-terminals as COM 1 and COM 2, as a user meets it.
class LayoutInputTest : public testing::Test {
 protected:
  void SetUp() override {
    Dir.Link(1, PtyA.SlavePath());
    Dir.Link(2, PtyB.SlavePath());
    Window = std::make_unique<TfMainLayout>();
    Window->show();
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
  }

  // As the window system delivers it, which is where a list would take the focus from the wheel.
  static void RollWheelDown(QWidget* Widget) {
    const QPointF at(Widget->width() / 2.0, Widget->height() / 2.0);
    QWheelEvent event(at, Widget->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(Widget, &event);
    QCoreApplication::processEvents();
  }

  test::ComDir Dir;
  test::PtyPair PtyA, PtyB;
  std::unique_ptr<TfMainLayout> Window;
};

TEST_F(LayoutInputTest, WheelChangesAListOnlyWhileItHasTheFocus) {
  ASSERT_EQ(Window->cbComPort1->count(), 2);
  for (QComboBox* list : {static_cast<QComboBox*>(Window->cbComPort1), Window->cbbOldSpeed,
                          static_cast<QComboBox*>(Window->cbbOldAddress),
                          static_cast<QComboBox*>(Window->cbbNewAddress), Window->cbbNewSpeed}) {
    SCOPED_TRACE(list->objectName().toStdString());
    list->setEnabled(true);
    Window->mLog->setFocus();
    const int before = list->currentIndex();
    RollWheelDown(list);
    EXPECT_EQ(list->currentIndex(), before);
    EXPECT_TRUE(Window->mLog->hasFocus()) << "the wheel gives no focus";
    list->setFocus();
    RollWheelDown(list);
    EXPECT_EQ(list->currentIndex(), before + 1);
  }
  EXPECT_TRUE(Window->AfComPort1->Active()) << "the focused roll picked a port and opened it";
}

TEST_F(LayoutInputTest, ClickOrTabIntoTheSerialFieldTypesFromTheFirstBlank) {
  QLineEdit* field = Window->medtSerialNumber;
  field->setEnabled(true);
  QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(field->width() - 6, field->height() / 2));
  QTest::keyClicks(field, "01234567");
  EXPECT_EQ(field->displayText(), "0123\\4567");
  field->setText(QStringLiteral("01"));
  field->clearFocus();
  field->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(field, "234567");
  EXPECT_EQ(field->displayText(), "0123\\4567");
}

}  // namespace
}  // namespace tarnel
