#include <QApplication>

#include "support/TestMain.h"

// Fontconfig and the platform plugin keep caches for the life of the process; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n";
}

int main(int argc, char** argv) {
  return tarnel::test::RunAllTestsUnder<QApplication>(argc, argv);
}
