#include <QApplication>

#include "WineTestMain.h"

int main(int argc, char** argv) {
  return tarnel::test::RunAllWineTestsUnder<QApplication>(argc, argv);
}
