#pragma once

#include <gtest/gtest.h>

#include <QtGlobal>

namespace tarnel::test {

// Every test of the run under one application object of type App, whose thread plays the user-interface
// thread; widgets draw on the offscreen platform unless the caller chose another.
template <typename App>
int RunAllTestsUnder(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  App application(argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace tarnel::test
