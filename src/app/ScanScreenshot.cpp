// Renders the "Scan line…" dialog in the middle of a scan into a PNG, for the read-me:
//   tarnel-scan-screenshot OUTPUT.png COM-NUMBER STOP-AT-QUESTION
// The devices are someone else's (scripts/screenshot-scan starts them in the simulator); the program opens
// the port at 9600 bit/s, scans 0-253 at that speed, takes the picture once STOP-AT-QUESTION questions are
// out, and then stops the scan and quits. Exit status 1 when nothing could be written.
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/Application.h"
#include "app/ScanDialog.h"
#include "app/ufMain.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tarnel-scan-screenshot OUTPUT.png COM-NUMBER STOP-AT-QUESTION\n");
    return 2;
  }
  tarnel::TApplication app(argc, argv);
  const QString output = QString::fromLocal8Bit(argv[1]);
  const int stopAt = std::atoi(argv[3]);
  tarnel::TfMain window;
  window.show();
  window.AfComPort1->SetComNumber(static_cast<uint16_t>(std::atoi(argv[2])));
  window.AfComPort1->Open();
  if (!window.AfComPort1->Active()) return 1;

  bool saved = false;
  // Runs inside the dialog's own event loop, once "Scan line…" has opened it.
  const auto scan = [&] {
    auto* dialog =
        dynamic_cast<tarnel::TScanDialog*>(window.findChild<QDialog*>(QStringLiteral("ScanDialog")));
    if (!dialog) return;
    dialog->rbPortSpeed->setChecked(true);
    // Looks at the dialog between two questions (timers run there) until the scan is far enough.
    auto* watch = new QTimer(dialog);
    QObject::connect(watch, &QTimer::timeout, dialog, [&, dialog, watch] {
      if (dialog->pbProgress->value() < stopAt) return;
      watch->stop();
      saved = dialog->grab().save(output, "PNG");
      dialog->reject();
    });
    watch->start(20);
    dialog->bStart->click();
  };
  QTimer::singleShot(0, &window, [&] {
    QTimer::singleShot(0, &window, scan);
    window.shpxScanLineClick(nullptr);
    QApplication::quit();
  });
  app.exec();
  if (!saved) std::fprintf(stderr, "tarnel-scan-screenshot: cannot write %s\n", qPrintable(output));
  return saved ? 0 : 1;
}
