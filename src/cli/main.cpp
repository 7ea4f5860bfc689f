#include <QCoreApplication>
#include <string>
#include <vector>

#include "cli/CommandLine.h"

// The port component delivers its events through the application object of the thread that uses it.
int main(int argc, char* argv[]) {
  QCoreApplication application(argc, argv);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return tarnel::cli::RunCommandLine(args, TARNEL_VERSION);
}
