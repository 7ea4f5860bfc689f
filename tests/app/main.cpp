#include "app/Application.h"
#include "support/TestMain.h"

// The window's tests run under the program's own application object, so its error display is the real one.
int main(int argc, char** argv) {
  return tarnel::test::RunAllTestsUnder<tarnel::TApplication>(argc, argv);
}
