// Wall time of a whole one-speed scan (addresses 0-253, one device at 49, the default time-out) in the
// window's "Scan line…" dialog and in `tarnel scan`, beside the floor the design sets: every byte on the line
// (ten bit times each), the time-out of each silent address and the 10 ms pause after each exchange. The
// window's figure runs from Start to the end of the scan; tarnel's includes the program's own start.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "ChildProcess.h"
#include "app/Application.h"
#include "app/ScanDialog.h"
#include "app/ufMain.h"
#include "protocol/Instructions.h"
#include "sim/DeviceSimulator.h"

namespace {

using namespace tarnel;
using Clock = std::chrono::steady_clock;

constexpr double kPauseMs = 10.0;
constexpr size_t kRequestBytes = 9;
const std::string kInfo = "HRW;Tarnel simulated device";

double LineMs(size_t Bytes, int32_t Speed) {
  return Bytes * 10.0 * 1000.0 / Speed;
}

double FloorMs(int32_t Speed) {
  const double silent = LineMs(kRequestBytes, Speed) + DefaultScanTimeoutMs + kPauseMs;
  return MaxDeviceAddress * silent + LineMs(kRequestBytes + 9 + kInfo.size(), Speed) + kPauseMs;
}

// The window's scan at the port's speed, from Start until the scan is over.
double WindowMs(TfMain& Window, size_t& Found) {
  double ms = 0;
  QTimer::singleShot(0, &Window, [&] {
    QTimer::singleShot(0, &Window, [&] {
      auto* dialog = dynamic_cast<TScanDialog*>(Window.findChild<QDialog*>(QStringLiteral("ScanDialog")));
      if (!dialog) return;
      dialog->rbPortSpeed->setChecked(true);
      QElapsedTimer clock;
      clock.start();
      dialog->bStart->click();
      ms = clock.nsecsElapsed() / 1e6;
      Found = dialog->Findings().size();
      dialog->reject();
    });
    Window.shpxScanLineClick(nullptr);
  });
  while (ms == 0)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return ms;
}

double CliMs(int32_t Speed) {
  const auto start = Clock::now();
  const test::ProgramRun run =
      test::RunProgram({TARNEL_CLI_PATH, "scan", "--port", "COM1", "--speed", std::to_string(Speed)});
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (run.Status != 0) std::fprintf(stderr, "tarnel scan exited %d: %s", run.Status, run.Errors.c_str());
  return ms;
}

void Report(const std::string& What, double Wall, double Floor) {
  std::printf("| %-32s | %9.1f ms | %9.1f ms | %5.3f |\n", What.c_str(), Wall, Floor, Wall / Floor);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  std::printf("| what | wall | floor | ratio |\n|---|---|---|---|\n");
  for (const int32_t speed : {9600, 115200}) {
    QTemporaryDir dir;
    qputenv("TARNEL_COM_DIR", dir.path().toUtf8());
    sim::TDeviceSimulator sim;
    sim.AddDevice({.Address = 49, .Speed = speed, .Info = kInfo});
    sim.Start(dir.path().toStdString(), 1);

    TfMain window;
    window.show();
    const auto entry = std::find(DeviceSpeeds.begin(), DeviceSpeeds.end(), speed) - DeviceSpeeds.begin();
    window.cbbOldSpeed->setCurrentIndex(static_cast<int>(entry));
    window.AfComPort1->SetComNumber(1);
    window.AfComPort1->Open();
    size_t found = 0;
    const double windowMs = WindowMs(window, found);
    window.AfComPort1->Close();
    if (found != 1) std::fprintf(stderr, "the window found %zu devices instead of 1\n", found);
    const std::string at = " 0-253 at " + std::to_string(speed);
    Report("window scan" + at, windowMs, FloorMs(speed));
    Report("tarnel scan" + at, CliMs(speed), FloorMs(speed));
    sim.Stop();
  }
  return 0;
}
