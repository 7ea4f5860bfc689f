// Start-up time of the main window with its port list probing COM1 .. COM255, beside the same window with
// nothing to probe, measured in the same run. TARNEL_COM_DIR holds a few pseudo-terminals (one of them held
// open, so busy); every other number falls to the machine's own device table, where most are missing.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "PtyPair.h"
#include "ui/fMainLayout.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 15;
constexpr int kPtys = 4;

// Creating, showing and painting the window once; MaxComPorts 0 leaves nothing to probe.
double StartWindowMs(bool ProbePorts, int* Listed) {
  const auto start = Clock::now();
  tarnel::TfMainLayout window;
  if (!ProbePorts) window.cbComPort1->SetMaxComPorts(0);
  window.show();
  window.grab();
  QCoreApplication::processEvents();
  const auto end = Clock::now();
  *Listed = window.cbComPort1->count();
  return std::chrono::duration<double, std::milli>(end - start).count();
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  tarnel::test::ComDir dir;
  std::vector<std::unique_ptr<tarnel::test::PtyPair>> ptys;
  for (int i = 0; i < kPtys; ++i) {
    ptys.push_back(std::make_unique<tarnel::test::PtyPair>());
    dir.Link(1 + 2 * i, ptys.back()->SlavePath());
  }
  // Another program holds one of them: it is listed as busy.
  const int held = open(ptys[1]->SlavePath().c_str(), O_RDWR | O_NOCTTY);
  if (held < 0 || flock(held, LOCK_EX | LOCK_NB) != 0)
    std::fprintf(stderr, "ui_startup: cannot hold a port\n");

  int listed = 0;
  int listedBaseline = 0;
  StartWindowMs(true, &listed);  // warm-up: fonts, plugin, style
  std::vector<double> probed;
  std::vector<double> baseline;
  for (int round = 0; round < kRounds; ++round) {
    probed.push_back(StartWindowMs(true, &listed));
    baseline.push_back(StartWindowMs(false, &listedBaseline));
  }
  const double withPorts = Median(probed);
  const double without = Median(baseline);
  std::printf("window start-up, 255 ports probed (%d listed, 1 busy): median %.2f ms over %d rounds\n",
              listed, withPorts, kRounds);
  std::printf("window start-up, nothing probed (baseline):   median %.2f ms\n", without);
  std::printf("probing cost: %.2f ms (%.1f us per port); ratio to baseline %.2f\n", withPorts - without,
              (withPorts - without) * 1000.0 / 255, withPorts / without);
  if (held >= 0) close(held);
  return 0;
}
