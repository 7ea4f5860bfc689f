// The widget tests need one QApplication for the whole run; the offscreen platform needs no display.
#include <QApplication>
#include <cstdlib>

#include <gtest/gtest.h>

// Fontconfig and the platform plugin keep caches for the life of the process; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n";
}

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
