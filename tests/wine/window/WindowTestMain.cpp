#include "WineTestMain.h"
#include "app/Application.h"

// Under the program's own application object, so its error display is the real one.
int main(int argc, char** argv) {
  return tarnel::test::RunAllWineTestsUnder<tarnel::TApplication>(argc, argv);
}
