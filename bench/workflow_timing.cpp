// Wall time of each window operation against one simulated device, at 9600 and 115200 bit/s, beside the
// floor the design sets for it: every byte of every request and answer on the line (ten bit times each),
// the 10 ms pause after each exchange, and for a silent line the 500 ms time-out. Message boxes are closed
// as soon as they show; an operation that ends in one is timed until the box appears.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/Application.h"
#include "app/ufMain.h"
#include "sim/DeviceSimulator.h"

namespace {

using namespace tarnel;

constexpr int Repeats = 9;

// Closes every message box as soon as it shows and remembers when the first one did.
class TBoxCloser : public QObject {
 public:
  qint64 ShownAtNs = -1;
  const QElapsedTimer* Clock = nullptr;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    auto* box = qobject_cast<QMessageBox*>(Watched);
    if (box && Event->type() == QEvent::Show) {
      if (ShownAtNs < 0) ShownAtNs = Clock->nsecsElapsed();
      QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
    }
    return false;
  }
};

struct TOperation {
  const char* Name;
  std::function<void()> Prepare;
  std::function<void()> Run;
  bool Silent = false;  // no device answers: the floor includes the time-out
};

struct TFigures {
  double MedianMs = 0;
  double FloorMs = 0;
};

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

// The floor of what the simulator recorded: all bytes on the line, a pause per exchange, time-outs.
double FloorMs(const sim::TDeviceSimulator& Sim, int Speed, bool Silent) {
  const double charMs = 10000.0 / Speed;
  double floor = 0;
  for (const sim::THeardRequest& request : Sim.Requests()) {
    floor += request.Bytes.size() * charMs + 10.0;
    if (Silent) floor += 500.0;
  }
  for (const sim::TAnswerRecord& answer : Sim.Answers())
    floor += answer.Bytes.size() * charMs;
  return floor;
}

TFigures Measure(const TOperation& Operation, sim::TDeviceSimulator& Sim, int Speed, TBoxCloser& Closer) {
  std::vector<double> times, floors;
  QElapsedTimer clock;
  Closer.Clock = &clock;
  for (int i = 0; i < Repeats; ++i) {
    Operation.Prepare();
    Sim.WaitIdle(std::chrono::seconds(2));
    Sim.ClearRecords();
    Closer.ShownAtNs = -1;
    clock.start();
    Operation.Run();
    const qint64 endNs = Closer.ShownAtNs >= 0 ? Closer.ShownAtNs : clock.nsecsElapsed();
    times.push_back(endNs / 1e6);
    Sim.WaitIdle(std::chrono::seconds(2));
    floors.push_back(FloorMs(Sim, Speed, Operation.Silent));
  }
  return {Median(times), Median(floors)};
}

void RunAtSpeed(int Speed, int SpeedIndex, TBoxCloser& Closer) {
  QTemporaryDir dir;
  qputenv("TARNEL_COM_DIR", dir.path().toUtf8());
  sim::TDeviceSimulator sim;
  sim::TDeviceConfig device;
  device.Address = 49;
  device.Speed = Speed;
  device.Info = "HRW;bench device";
  device.Serial = {123, 4567};
  sim.AddDevice(device);
  sim.Start(dir.path().toStdString(), 1);

  TfMain window;
  window.show();
  window.cbbOldSpeed->setCurrentIndex(SpeedIndex);
  window.AfComPort1->SetComNumber(1);
  window.AfComPort1->Open();
  window.cbOneDeviceOnLine->click();
  window.medtSerialNumber->setText("0123\\4567");
  int address = 49;

  const std::vector<TOperation> operations = {
      {"find the device", [&] { window.rbByOldADR->click(); }, [&] { window.bGetClick(nullptr); }},
      {"set address and speed",
       [&] {
         window.rbByOldADR->click();
         window.cbbOldAddress->setCurrentIndex(address);
         address = address == 49 ? 50 : 49;
         window.cbbNewAddress->setCurrentIndex(address);
         window.cbbNewSpeed->setCurrentIndex(SpeedIndex);
       },
       [&] { window.bUpdateClick(nullptr); }},
      {"set address by serial number",
       [&] {
         window.rbSerialNumber->click();
         window.medtSerialNumber->setText("0123\\4567");
         address = address == 49 ? 50 : 49;
         window.cbbNewAddress->setCurrentIndex(address);
       },
       [&] { window.bUpdateClick(nullptr); }},
      {"read information and values",
       [&] {
         window.cbbOldAddress->setCurrentIndex(address);
         window.cbbNewAddress->setCurrentIndex(address);
       },
       [&] { window.shpxReadValuesClick(nullptr); }},
      {"write a serial number", [&] {}, [&] { window.Vypalitsriovslo1Click(nullptr); }},
      {"find on a silent line",
       [&] {
         window.rbByOldADR->click();
         sim.SetFaults(0, sim::TDeviceFaults{.Silent = true});
       },
       [&] { window.bGetClick(nullptr); }, true},
  };
  for (const TOperation& operation : operations) {
    const TFigures figures = Measure(operation, sim, Speed, Closer);
    std::printf("%7d bit/s  %-30s %8.1f ms   floor %8.1f ms   ratio %5.3f\n", Speed, operation.Name,
                figures.MedianMs, figures.FloorMs, figures.MedianMs / figures.FloorMs);
  }
  window.AfComPort1->Close();
  sim.Stop();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The offscreen platform remarks on every message box it shows; the figures are what matters here.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& Message) {
    if (!Message.contains(QLatin1String("propagateSizeHints")))
      std::fprintf(stderr, "%s\n", qPrintable(Message));
  });
  TApplication app(argc, argv);
  TBoxCloser closer;
  app.installEventFilter(&closer);
  std::printf("Window operations against a simulated HRW device, median of %d runs each\n", Repeats);
  RunAtSpeed(9600, 3, closer);
  RunAtSpeed(115200, 7, closer);
  return 0;
}
