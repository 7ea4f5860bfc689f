#include <QCoreApplication>

#include "support/TestMain.h"

int main(int argc, char** argv) {
  return tarnel::test::RunAllTestsUnder<QCoreApplication>(argc, argv);
}
