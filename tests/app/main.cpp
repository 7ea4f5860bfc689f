#include <gtest/gtest.h>

#include <QtGlobal>

#include "app/Application.h"

// The window's tests run under the program's own application object, so its error display is the real one.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  tarnel::TApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
