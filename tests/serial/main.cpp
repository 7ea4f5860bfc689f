#include <gtest/gtest.h>

#include <QCoreApplication>

// The serial tests run with a QCoreApplication whose thread plays the user-interface thread.
int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
