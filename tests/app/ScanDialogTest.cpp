#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

#include "app/ScanDialog.h"
#include "app/WindowFixture.h"
#include "serial/AfComPortTypes.h"
#include "support/Watchdog.h"

namespace tarnel::test {
namespace {

using namespace std::chrono_literals;

sim::TDeviceConfig Device(uint8_t Address, int32_t Speed, const std::string& Info) {
  return {.Address = Address, .Speed = Speed, .Info = Info};
}

// Counts the paints a widget receives while a scan runs.
class TPaintCounter : public QObject {
 public:
  explicit TPaintCounter(const TScanDialog& Dialog) : FDialog(Dialog) {}
  int DuringScan = 0;

 protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    if (Event->type() == QEvent::Paint && FDialog.Scanning()) ++DuringScan;
    return false;
  }

 private:
  const TScanDialog& FDialog;
};

}  // namespace

// The window's "Scan line…" against simulated devices on COM 1. Each test opens the dialog from the window's
// button; the dialog runs modally, so the steps run inside its event loop.
class ScanDialogTest : public WindowTest {
 protected:
  void OpenLine(std::initializer_list<sim::TDeviceConfig> Devices) {
    for (const sim::TDeviceConfig& device : Devices)
      AddDevice(device);
    StartLine();
    OpenPort();
  }

  // Opens the dialog and runs Steps in it; a dialog Steps left open is closed, so the window's handler
  // returns.
  void InDialog(const std::function<void(TScanDialog&)>& Steps) {
    Watchdog guard(60s, "ScanDialogTest: the dialog did not come back");
    bool ran = false;
    QTimer::singleShot(0, Window.get(), [&] {
      auto* dialog = dynamic_cast<TScanDialog*>(Window->findChild<QDialog*>(QStringLiteral("ScanDialog")));
      ASSERT_NE(dialog, nullptr);
      ran = true;
      Steps(*dialog);
      if (dialog->isVisible()) dialog->reject();
    });
    Click(Window->shpxScanLine);
    EXPECT_TRUE(ran);
    EXPECT_EQ(Window->findChild<QDialog*>(QStringLiteral("ScanDialog")), nullptr);
  }

  // A small plan: the port's speed only, or every speed, over First..Last.
  static void Narrow(TScanDialog& Dialog, int First, int Last, int TimeoutMs, bool PortSpeedOnly) {
    (PortSpeedOnly ? Dialog.rbPortSpeed : Dialog.rbAllSpeeds)->setChecked(true);
    Dialog.rbAddressRange->setChecked(true);
    Dialog.seFirstAddress->setValue(First);
    Dialog.seLastAddress->setValue(Last);
    Dialog.seTimeout->setValue(TimeoutMs);
  }

  // Action runs on the UI thread (between two questions) once the simulator has heard Count requests.
  void AfterRequests(size_t Count, std::function<void()> Action) {
    auto heard = std::make_shared<std::atomic<size_t>>(0);
    Sim.SetLog([heard, Count, Action = std::move(Action)](const std::string& Line) {
      if (Line.find("\"request\"") == std::string::npos || ++*heard != Count) return;
      QMetaObject::invokeMethod(qApp, Action, Qt::QueuedConnection);
    });
  }

  // The scan ended before its next question once the user's request was taken in At, well short of the
  // plan's Planned questions.
  void ExpectQuietSince(sim::TClock::time_point At, size_t Planned) const {
    const auto heard = PacketsHeard();
    EXPECT_LT(heard.size(), Planned);
    for (const sim::THeardRequest& request : heard)
      EXPECT_LE(request.At, At) << "a question went out after the scan was ended";
  }

  static std::vector<QStringList> Rows(const TScanDialog& Dialog) {
    std::vector<QStringList> rows;
    for (int row = 0; row < Dialog.tFound->rowCount(); ++row) {
      QStringList cells;
      for (int column = 0; column < Dialog.tFound->columnCount(); ++column)
        cells << Dialog.tFound->item(row, column)->text();
      rows.push_back(cells);
    }
    return rows;
  }
};

// Three devices at two speeds, one silent and one whose answers are damaged: every speed in the search
// order over a narrow range lists the answering ones as they answer, with their status.
TEST_F(ScanDialogTest, DevicesAtTwoSpeedsAreListedWithTheirStatus) {
  sim::TDeviceConfig silent = Device(51, 9600, "HRW;silent");
  silent.Faults.Silent = true;
  sim::TDeviceConfig damaged = Device(53, 9600, "VKM7;damaged");
  damaged.Faults.BadChecksum = true;
  OpenLine({Device(49, 9600, "HRW;hall"), Device(50, 19200, "VKM7;cellar"),
            Device(52, 19200, "KQ6;line \"B\", hall 2"), silent, damaged});
  QTemporaryDir folder;
  InDialog([&](TScanDialog& dialog) {
    EXPECT_EQ(dialog.Plan().Speeds, std::vector<int32_t>(SearchSpeedOrder.begin(), SearchSpeedOrder.end()));
    EXPECT_EQ(dialog.Plan().Addresses.size(), 254u);
    EXPECT_EQ(dialog.Plan().TimeoutMs, DefaultScanTimeoutMs);
    Narrow(dialog, 53, 49, 40, false);  // the bounds in either order
    dialog.bStart->click();
    EXPECT_FALSE(dialog.Scanning());
    EXPECT_EQ(dialog.pbProgress->value(), 40);
    EXPECT_EQ(dialog.pbProgress->maximum(), 40);
    EXPECT_TRUE(dialog.lStatus->text().startsWith("Scanned: 40 questions in "))
        << dialog.lStatus->text().toStdString();
    EXPECT_TRUE(dialog.lStatus->text().endsWith(": 3 devices answered, 1 unclear answer."));
    const std::vector<QStringList> expected = {
        {"1", "49", "31", "9600", "found", "temperature, humidity, dew point", "HRW;hall"},
        {"5", "53", "35", "9600", "damaged answer", "", ""},
        {"2", "50", "32", "19200", "found", "temperature", "VKM7;cellar"},
        {"4", "52", "34", "19200", "found", "four analog channels", "KQ6;line \"B\", hall 2"},
    };
    EXPECT_EQ(Rows(dialog), expected);

    dialog.bCopy->click();
    const QStringList copied = QApplication::clipboard()->text().split('\n');
    ASSERT_EQ(copied.size(), 6);  // titles, four rows, the last line's end
    EXPECT_EQ(copied[0], "ascii\tdec\thex\tSpeed\tStatus\tFamily\tINFO");
    EXPECT_EQ(copied[2], "5\t53\t35\t9600\tdamaged answer\t\t");

    const QString path = folder.filePath("scan.csv");
    ASSERT_TRUE(dialog.SaveCsv(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split("\r\n");
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], "ascii,dec,hex,Speed,Status,Family,INFO");
    EXPECT_EQ(lines[4], "4,52,34,19200,found,four analog channels,\"KQ6;line \"\"B\"\", hall 2\"");
  });
  EXPECT_EQ(Sim.PortSpeed(), 9600) << "the port's speed is given back";
  EXPECT_TRUE(Boxes->Shown().empty());
}

// Stop between two questions: nothing more goes out, and the rows found so far stay.
TEST_F(ScanDialogTest, StopEndsTheScanBeforeTheNextQuestionAndKeepsTheRows) {
  OpenLine({Device(48, 9600, "HRW;a"), Device(49, 9600, "HRW;b")});
  std::optional<sim::TClock::time_point> stoppedAt;
  InDialog([&](TScanDialog& dialog) {
    Narrow(dialog, 48, 120, 100, true);
    AfterRequests(4, [&] {
      stoppedAt = sim::TClock::now();
      QTest::mouseClick(dialog.bStop, Qt::LeftButton);
    });
    dialog.bStart->click();
    Sim.SetLog({});
    ASSERT_TRUE(stoppedAt.has_value());
    EXPECT_FALSE(dialog.Scanning());
    ASSERT_EQ(Rows(dialog).size(), 2u);
    EXPECT_EQ(Rows(dialog)[1][1], "49");
    const QString asked = QString::number(PacketsHeard().size());
    EXPECT_TRUE(dialog.lStatus->text().startsWith("Stopped after " + asked + " of 73 questions"))
        << dialog.lStatus->text().toStdString();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.bStart->isEnabled());
  });
  ExpectQuietSince(*stoppedAt, 73);
}

// Esc, or closing the main window, while a scan runs: the scan ends before its next question, then the
// dialog closes (and the window with it).
TEST_F(ScanDialogTest, EscAndClosingTheWindowEndTheScanFirst) {
  OpenLine({Device(40, 9600, "HRW;a")});
  std::optional<sim::TClock::time_point> escAt, closedAt;
  InDialog([&](TScanDialog& dialog) {
    Narrow(dialog, 40, 120, 100, true);
    AfterRequests(3, [&] {
      escAt = sim::TClock::now();
      QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    dialog.bStart->click();
    Sim.SetLog({});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Findings().size(), 1u);
  });
  ASSERT_TRUE(escAt.has_value());
  ExpectQuietSince(*escAt, 81);
  EXPECT_TRUE(Window->isVisible());

  Sim.ClearRecords();
  QApplication::setQuitOnLastWindowClosed(false);  // the run goes on after this window
  InDialog([&](TScanDialog& dialog) {
    Narrow(dialog, 40, 120, 100, true);
    AfterRequests(3, [&] {
      closedAt = sim::TClock::now();
      Window->close();
    });
    dialog.bStart->click();
    Sim.SetLog({});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Findings().size(), 1u);
  });
  QApplication::setQuitOnLastWindowClosed(true);
  ASSERT_TRUE(closedAt.has_value());
  ExpectQuietSince(*closedAt, 81);
  EXPECT_FALSE(Window->isVisible());
}

// "Use this device" (or a double click) takes the row's address and speed into the window, as "Read" does
// after a speed search; the by-address mode is chosen for it.
TEST_F(ScanDialogTest, UseThisDeviceSelectsItsAddressAndSpeedInTheWindow) {
  OpenLine({Device(49, 9600, "HRW;a"), Device(50, 19200, "VKM7;b")});
  Window->rbSerialNumber->click();
  InDialog([&](TScanDialog& dialog) {
    Narrow(dialog, 49, 50, 40, false);
    EXPECT_FALSE(dialog.bUse->isEnabled());
    dialog.bStart->click();
    ASSERT_EQ(Rows(dialog).size(), 2u);
    dialog.tFound->selectRow(1);
    ASSERT_TRUE(dialog.bUse->isEnabled());
    dialog.bUse->click();
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_TRUE(Window->rbByOldADR->isChecked());
  EXPECT_TRUE(Window->cbbOldAddress->isEnabled());
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 50);
  EXPECT_EQ(Window->cbbOldSpeed->currentText(), "19200");
  EXPECT_EQ(Sim.PortSpeed(), 19200);

  InDialog([&](TScanDialog& dialog) {
    Narrow(dialog, 49, 50, 40, false);
    dialog.bStart->click();
    ASSERT_EQ(Rows(dialog).size(), 2u);
    const QPoint cell = dialog.tFound->visualItemRect(dialog.tFound->item(0, 1)).center();
    QTest::mouseClick(dialog.tFound->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(dialog.tFound->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 49);
  EXPECT_EQ(Window->cbbOldSpeed->currentText(), "9600");
  EXPECT_EQ(Sim.PortSpeed(), 9600);
  EXPECT_TRUE(Boxes->Shown().empty());
}

// The adapter goes away mid-scan: the window's one lost-port message, the scan over with its rows, the
// window back at "Open port".
TEST_F(ScanDialogTest, ALostPortEndsTheScanWithTheWindowsOneMessage) {
  OpenLine({Device(48, 9600, "HRW;a")});
  InDialog([&](TScanDialog& dialog) {
    Narrow(dialog, 48, 120, 100, true);
    AfterRequests(3, [&] { Sim.Stop(); });
    dialog.bStart->click();
    Sim.SetLog({});
    EXPECT_FALSE(dialog.Scanning());
    EXPECT_EQ(Rows(dialog).size(), 1u);
    EXPECT_TRUE(dialog.lStatus->text().startsWith("The port was closed: the scan ended after "))
        << dialog.lStatus->text().toStdString();
    EXPECT_FALSE(dialog.bStart->isEnabled());
    EXPECT_FALSE(dialog.bStop->isEnabled());
    EXPECT_TRUE(dialog.bCopy->isEnabled());
  });
  ASSERT_EQ(Boxes->Shown().size(), 1u);
  EXPECT_EQ(Boxes->Shown()[0].Text.toStdString(), LostPortText(1));
  EXPECT_FALSE(Window->AfComPort1->Active());
  EXPECT_EQ(Window->shpxOpenClose->Caption(), "Open port");
  EXPECT_FALSE(Window->shpxScanLine->isEnabled());
}

// A click on the main window while the scan runs, as the window system delivers it, is refused there (the
// dialog is modal): no read of values joins the scan's questions and nothing is logged.
TEST_F(ScanDialogTest, TheMainWindowTakesNoClickWhileTheScanRuns) {
  OpenLine({Device(49, 9600, "HRW;hall")});
  Window->cbbOldAddress->setCurrentIndex(49);
  InDialog([&](TScanDialog& dialog) {
    Narrow(dialog, 0, 9, 50, true);
    AfterRequests(3, [&] {
      const QPoint centre = Window->shpxReadValues->rect().center();
      QTest::mouseClick(Window->windowHandle(), Qt::LeftButton, {},
                        Window->shpxReadValues->mapTo(Window.get(), centre));
    });
    dialog.bStart->click();
    Sim.SetLog({});
  });
  EXPECT_EQ(PacketsHeard().size(), 10u) << "only the scan's ten questions";
  EXPECT_TRUE(LogLines().empty());
}

// Between two questions the window and the dialog paint what is asked of them: no frozen, white window.
TEST_F(ScanDialogTest, TheWindowsRepaintWhileTheScanRuns) {
  OpenLine({});
  InDialog([&](TScanDialog& dialog) {
    TPaintCounter windowPaints(dialog), dialogPaints(dialog);
    // The panels tile the window, so a paint of the window reaches them rather than the window itself.
    Window->p2->installEventFilter(&windowPaints);
    dialog.tFound->viewport()->installEventFilter(&dialogPaints);
    Narrow(dialog, 0, 19, 50, true);
    AfterRequests(3, [&] {
      Window->update();
      dialog.tFound->viewport()->update();
    });
    dialog.bStart->click();
    Sim.SetLog({});
    Window->p2->removeEventFilter(&windowPaints);
    EXPECT_GT(windowPaints.DuringScan, 0);
    EXPECT_GT(dialogPaints.DuringScan, 0);
  });
  EXPECT_EQ(PacketsHeard().size(), 20u) << "the scan went on after the paints";
}

}  // namespace tarnel::test
