#include <QApplication>
#include <QScreen>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

#include "support/TestMain.h"
#include "ui/fMainLayout.h"

// The window at 1.5 times scale on a 1280 x 1024 screen, where its designed layout is taller than the screen.
// The scale must be set before the application object exists, so this suite has a process of its own.

namespace tarnel {
namespace {

class FitToScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FScreen = QGuiApplication::primaryScreen();
    ASSERT_NE(FScreen, nullptr);
    ASSERT_DOUBLE_EQ(FScreen->devicePixelRatio(), 1.5);
    FWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&FWindow));
  }

  // The part of Widget its parents leave in view, in screen coordinates.
  static QRect SeenOnScreen(const QWidget* Widget) {
    const QRect seen = Widget->visibleRegion().boundingRect();
    return {Widget->mapToGlobal(seen.topLeft()), seen.size()};
  }

  QScreen* FScreen = nullptr;
  TfMainLayout FWindow;
};

TEST_F(FitToScreenTest, WindowWithItsFrameLiesOnTheScreen) {
  const QRect area = FScreen->availableGeometry();
  EXPECT_TRUE(area.contains(FWindow.frameGeometry()))
      << "frame " << FWindow.frameGeometry().width() << "x" << FWindow.frameGeometry().height() << " on "
      << area.width() << "x" << area.height();
  // The content keeps its designed layout inside.
  EXPECT_EQ(FWindow.pBottom->geometry(), QRect(0, 691, 599, 68));
  EXPECT_EQ(FWindow.shpxCloseApp->parentWidget(), FWindow.pBottom);
}

TEST_F(FitToScreenTest, TabbingToCloseApplicationBringsItWhollyOnScreen) {
  FWindow.activateWindow();
  FWindow.cbComPort1->setFocus(Qt::TabFocusReason);
  for (int i = 0; i < 40 && QApplication::focusWidget() != FWindow.shpxCloseApp; ++i)
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), FWindow.shpxCloseApp);
  const QRect seen = SeenOnScreen(FWindow.shpxCloseApp);
  EXPECT_EQ(seen.size(), FWindow.shpxCloseApp->size());
  EXPECT_TRUE(FScreen->availableGeometry().contains(seen));
}

}  // namespace
}  // namespace tarnel

// Fontconfig and the platform plugin keep caches for the life of the process; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n";
}

int main(int argc, char** argv) {
  // One 1280 x 1024 screen (the offscreen platform's own is 800 x 600), framed windows, 1.5 times scale.
  QTemporaryFile screens(QDir::tempPath() + QStringLiteral("/tarnel-screen-XXXXXX.json"));
  if (!screens.open()) return 2;
  screens.write(R"({"windowFrameMargins": true, "screens": [{"name": "wide", "x": 0, "y": 0,
      "width": 1280, "height": 1024, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
  screens.flush();
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
  qputenv("QT_SCALE_FACTOR", "1.5");
  return tarnel::test::RunAllTestsUnder<QApplication>(argc, argv);
}
