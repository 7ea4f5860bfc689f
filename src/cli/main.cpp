#include <memory>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "serial/PlainUiDispatcher.h"

// The main thread is the user-interface thread of the port component: what it hands to that thread waits
// in a plain queue, so the program needs no toolkit.
int main(int argc, char* argv[]) {
  tarnel::SetUiDispatcher(std::make_shared<tarnel::TPlainUiDispatcher>());
  const std::vector<std::string> args(argv + 1, argv + argc);
  return tarnel::cli::RunCommandLine(args, TARNEL_VERSION);
}
