#include "app/ScanDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>

#include "app/Application.h"
#include "app/PortLine.h"
#include "common/Bytes.h"
#include "engine/DeviceLine.h"
#include "engine/ValueLog.h"
#include "protocol/Instructions.h"
#include "protocol/Packet97.h"
#include "serial/AfComPort.h"
#include "serial/AfComPortExchange.h"
#include "serial/ApplicationErrors.h"

namespace tarnel {
namespace {

// A scan's time-out may be shortened for a fast line or lengthened for a slow adapter, never beyond the
// time-out of a single exchange.
constexpr int kMinTimeoutMs = 10;

enum TColumn { colCharacter, colAddress, colHex, colSpeed, colStatus, colFamily, colInfo, colCount };

QString Utf8(const std::string& Text) {
  return QString::fromStdString(Text);
}

QString StatusText(const TFinding& Finding) {
  switch (Finding.Status) {
    case TFindStatus::Silent:
      return QStringLiteral("no answer");
    case TFindStatus::Found:
      return QStringLiteral("found");
    case TFindStatus::Refused:
      return QStringLiteral("refused (result code %1)").arg(Finding.Code);
    case TFindStatus::Damaged:
      return QStringLiteral("damaged answer");
    case TFindStatus::Several:
      break;
  }
  return QStringLiteral("several devices");
}

// The family whose values "Read Values" can show; a model it does not know is named as such.
QString FamilyText(const TFinding& Finding) {
  const std::string model = ModelFromInfo(Finding.Info);
  switch (FamilyOfModel(model)) {
    case TDeviceFamily::TempHumidityDew:
      return QStringLiteral("temperature, humidity, dew point");
    case TDeviceFamily::Temperature:
      return QStringLiteral("temperature");
    case TDeviceFamily::AnalogChannels4:
      return QStringLiteral("four analog channels");
    case TDeviceFamily::None:
      break;
  }
  return model.empty() ? QString() : QStringLiteral("unknown model");
}

QString CsvField(const QString& Cell) {
  const bool quoted = Cell.contains(QLatin1Char(',')) || Cell.contains(QLatin1Char('"')) ||
                      Cell.contains(QLatin1Char('\n')) || Cell.contains(QLatin1Char('\r')) ||
                      Cell.startsWith(QLatin1Char(' ')) || Cell.endsWith(QLatin1Char(' '));
  if (!quoted) return Cell;
  QString text = Cell;
  text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + text + QLatin1Char('"');
}

QString TabField(QString Cell) {
  for (const QChar breaking : {QLatin1Char('\t'), QLatin1Char('\n'), QLatin1Char('\r')})
    Cell.replace(breaking, QLatin1Char(' '));
  return Cell;
}

template <typename TField>
QString JoinTable(const std::vector<TFinding>& Findings, QChar Separator, const QString& LineEnd,
                  TField Field) {
  QString text;
  auto addLine = [&](const QStringList& Cells) {
    QStringList fields;
    for (const QString& cell : Cells)
      fields << Field(cell);
    text += fields.join(Separator) + LineEnd;
  };
  addLine(ScanColumnTitles());
  for (const TFinding& finding : Findings)
    addLine(ScanRowCells(finding));
  return text;
}

QString SecondsLeftText(double Seconds) {
  if (Seconds < 90)
    return QStringLiteral("about %1 s left").arg(std::max(1, static_cast<int>(std::ceil(Seconds))));
  return QStringLiteral("about %1 min left").arg(static_cast<int>(std::ceil(Seconds / 60)));
}

QString Plural(size_t Count, const QString& One, const QString& Many) {
  return QString::number(Count) + QLatin1Char(' ') + (Count == 1 ? One : Many);
}

// "3 devices answered, 1 unclear answer": refusals are devices too, damaged and several answers unclear.
QString AnsweredText(const std::vector<TFinding>& Findings) {
  size_t devices = 0, unclear = 0;
  for (const TFinding& finding : Findings)
    (finding.Status == TFindStatus::Found || finding.Status == TFindStatus::Refused ? devices : unclear)++;
  return QStringLiteral("%1 answered, %2")
      .arg(Plural(devices, QStringLiteral("device"), QStringLiteral("devices")),
           Plural(unclear, QStringLiteral("unclear answer"), QStringLiteral("unclear answers")));
}

}  // namespace

QStringList ScanColumnTitles() {
  // The address lists' own captions, so the three forms read as they do in the window.
  return {QStringLiteral("ascii"),  QStringLiteral("dec"),    QStringLiteral("hex"), QStringLiteral("Speed"),
          QStringLiteral("Status"), QStringLiteral("Family"), QStringLiteral("INFO")};
}

QStringList ScanRowCells(const TFinding& Finding) {
  QStringList cells;
  // A space would be as invisible as the control characters, and quoted in a CSV file for nothing.
  const bool visible = Finding.Address != ' ' && HasPrintableCharacter(Finding.Address);
  cells << (visible ? Utf8(AddressCharacter(Finding.Address)) : QString());
  cells << QString::number(Finding.Address);
  cells << Utf8(HexOf(ByteString(1, static_cast<char>(Finding.Address))));
  cells << QString::number(Finding.Speed);
  cells << StatusText(Finding);
  cells << FamilyText(Finding);
  cells << Utf8(Latin1ToUtf8(Finding.Info));
  return cells;
}

QString ScanRowsAsTabText(const std::vector<TFinding>& Findings) {
  return JoinTable(Findings, QLatin1Char('\t'), QStringLiteral("\n"), TabField);
}

QString ScanRowsAsCsv(const std::vector<TFinding>& Findings) {
  return JoinTable(Findings, QLatin1Char(','), QStringLiteral("\r\n"), CsvField);
}

TScanDialog::TScanDialog(TAfComPort* Port, QWidget* Parent) : QDialog(Parent), FPort(Port) {
  setObjectName(QStringLiteral("ScanDialog"));
  setWindowTitle(QStringLiteral("Scan line - COM %1").arg(Port->ComNumber()));
  BuildControls();
  UpdateControls();
}

TScanDialog::~TScanDialog() = default;

void TScanDialog::BuildControls() {
  auto* speeds = new QGroupBox(QStringLiteral("Speeds"), this);
  QStringList order;
  for (const int32_t speed : SearchSpeedOrder)
    order << QString::number(speed);
  rbAllSpeeds =
      new QRadioButton(QStringLiteral("Every device speed (%1)").arg(order.join(QStringLiteral(", "))));
  rbPortSpeed =
      new QRadioButton(QStringLiteral("The port's speed only (%1 bit/s)").arg(PortBaudRateValue(FPort)));
  rbAllSpeeds->setChecked(true);
  auto* speedsLayout = new QVBoxLayout(speeds);
  speedsLayout->addWidget(rbAllSpeeds);
  speedsLayout->addWidget(rbPortSpeed);

  auto* addresses = new QGroupBox(QStringLiteral("Addresses"), this);
  rbAllAddresses = new QRadioButton(QStringLiteral("All (0 to %1)").arg(MaxDeviceAddress));
  rbAddressRange = new QRadioButton(QStringLiteral("From"));
  rbAllAddresses->setChecked(true);
  seFirstAddress = new QSpinBox;
  seLastAddress = new QSpinBox;
  for (QSpinBox* bound : {seFirstAddress, seLastAddress})
    bound->setRange(0, MaxDeviceAddress);
  seLastAddress->setValue(MaxDeviceAddress);
  auto* addressesLayout = new QGridLayout(addresses);
  addressesLayout->addWidget(rbAllAddresses, 0, 0, 1, 4);
  addressesLayout->addWidget(rbAddressRange, 1, 0);
  addressesLayout->addWidget(seFirstAddress, 1, 1);
  addressesLayout->addWidget(new QLabel(QStringLiteral("to")), 1, 2);
  addressesLayout->addWidget(seLastAddress, 1, 3);
  addressesLayout->setColumnStretch(4, 1);

  auto* timeoutLabel = new QLabel(QStringLiteral("Time-out per address:"));
  seTimeout = new QSpinBox;
  seTimeout->setRange(kMinTimeoutMs, AnswerTimeoutMs);
  seTimeout->setSuffix(QStringLiteral(" ms"));
  seTimeout->setValue(DefaultScanTimeoutMs);
  timeoutLabel->setBuddy(seTimeout);

  bStart = new QPushButton(QStringLiteral("Start"));
  bStop = new QPushButton(QStringLiteral("Stop"));
  pbProgress = new QProgressBar;
  pbProgress->setFormat(QStringLiteral("%v of %m questions"));
  pbProgress->setRange(0, 1);
  pbProgress->setValue(0);
  lStatus = new QLabel(QStringLiteral("Press Start to ask every address of the plan for its INFO text."));
  lStatus->setWordWrap(true);

  tFound = new QTableWidget(0, colCount, this);
  tFound->setHorizontalHeaderLabels(ScanColumnTitles());
  tFound->setSelectionBehavior(QAbstractItemView::SelectRows);
  tFound->setSelectionMode(QAbstractItemView::SingleSelection);
  tFound->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tFound->verticalHeader()->hide();
  tFound->horizontalHeader()->setStretchLastSection(true);
  tFound->setMinimumHeight(200);
  tFound->setWordWrap(false);
  tFound->verticalHeader()->setDefaultSectionSize(tFound->fontMetrics().height() + 8);
  const int columnWidths[colCount] = {48, 48, 44, 64, 120, 220, 0};
  for (int column = colCharacter; column < colInfo; ++column)
    tFound->setColumnWidth(column, columnWidths[column]);

  bUse = new QPushButton(QStringLiteral("Use this device"));
  bCopy = new QPushButton(QStringLiteral("Copy"));
  bSave = new QPushButton(QStringLiteral("Save..."));
  bClose = new QPushButton(QStringLiteral("Close"));
  // Enter must not start a scan behind the user's back, nor close the dialog.
  for (QPushButton* button : {bStart, bStop, bUse, bCopy, bSave, bClose})
    button->setAutoDefault(false);

  auto* settings = new QHBoxLayout;
  settings->addWidget(speeds, 3);
  settings->addWidget(addresses, 2);
  auto* run = new QHBoxLayout;
  run->addWidget(timeoutLabel);
  run->addWidget(seTimeout);
  run->addStretch(1);
  run->addWidget(bStart);
  run->addWidget(bStop);
  auto* results = new QHBoxLayout;
  results->addWidget(bUse);
  results->addWidget(bCopy);
  results->addWidget(bSave);
  results->addStretch(1);
  results->addWidget(bClose);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(settings);
  layout->addLayout(run);
  layout->addWidget(pbProgress);
  layout->addWidget(lStatus);
  layout->addWidget(tFound, 1);
  layout->addLayout(results);
  resize(800, 500);

  auto guarded = [this](void (TScanDialog::*Handler)()) {
    return [this, Handler] { Guarded([&] { (this->*Handler)(); }); };
  };
  connect(bStart, &QPushButton::clicked, this, guarded(&TScanDialog::StartClick));
  connect(bStop, &QPushButton::clicked, this, guarded(&TScanDialog::StopClick));
  connect(bUse, &QPushButton::clicked, this, guarded(&TScanDialog::UseClick));
  connect(bCopy, &QPushButton::clicked, this, guarded(&TScanDialog::CopyClick));
  connect(bSave, &QPushButton::clicked, this, guarded(&TScanDialog::SaveClick));
  connect(bClose, &QPushButton::clicked, this, &TScanDialog::reject);
  connect(tFound, &QTableWidget::cellDoubleClicked, this, [this](int Row) { Guarded([&] { Choose(Row); }); });
  connect(tFound, &QTableWidget::itemSelectionChanged, this, [this] { UpdateControls(); });
  for (QRadioButton* choice : {rbAllAddresses, rbAddressRange})
    connect(choice, &QRadioButton::toggled, this, [this] { UpdateControls(); });
}

TScanPlan TScanDialog::Plan() const {
  TScanPlan plan;
  if (rbPortSpeed->isChecked())
    plan.Speeds = {PortBaudRateValue(FPort)};
  else
    plan.Speeds.assign(SearchSpeedOrder.begin(), SearchSpeedOrder.end());
  int first = 0, last = MaxDeviceAddress;
  if (rbAddressRange->isChecked()) {
    first = std::min(seFirstAddress->value(), seLastAddress->value());
    last = std::max(seFirstAddress->value(), seLastAddress->value());
  }
  for (int address = first; address <= last; ++address)
    plan.Addresses.push_back(static_cast<uint8_t>(address));
  plan.TimeoutMs = seTimeout->value();
  return plan;
}

void TScanDialog::UpdateControls() {
  const bool idle = !FScanning;
  for (QWidget* setting : {static_cast<QWidget*>(rbAllSpeeds), static_cast<QWidget*>(rbPortSpeed),
                           static_cast<QWidget*>(rbAllAddresses), static_cast<QWidget*>(rbAddressRange),
                           static_cast<QWidget*>(seTimeout)})
    setting->setEnabled(idle);
  seFirstAddress->setEnabled(idle && rbAddressRange->isChecked());
  seLastAddress->setEnabled(idle && rbAddressRange->isChecked());
  bStart->setEnabled(idle && FPort->Active());
  bStop->setEnabled(FScanning && !FCancel);
  bUse->setEnabled(!tFound->selectedItems().isEmpty() && FAfterScan == TAfterScan::Nothing);
  bCopy->setEnabled(!FFindings.empty());
  // Its file dialog would hold the scan up.
  bSave->setEnabled(idle && !FFindings.empty());
}

void TScanDialog::StartClick() {
  if (FScanning || !FPort->Active()) return;
  RunScan(Plan());
}

void TScanDialog::RunScan(const TScanPlan& Plan) {
  FFindings.clear();
  tFound->setRowCount(0);
  FCancel = false;
  FAfterScan = TAfterScan::Nothing;
  FAsked = 0;
  FScanning = true;
  const size_t total = Plan.Addresses.size() * Plan.Speeds.size();
  pbProgress->setRange(0, static_cast<int>(total));
  pbProgress->setValue(0);
  UpdateControls();
  bStop->setFocus();
  FClock.start();

  bool cancelled = false;
  std::exception_ptr error;
  try {
    // Unlike the window's other exchanges the scan's discard no input meanwhile: a Stop clicked while a
    // question is out must reach the dialog at the next question.
    TPortLine line(FPort);
    const TScanReport report = ScanLine(
        line, Plan, FCancel, [this](const TFinding& Finding) { AddRow(Finding); },
        [this](const TScanProgress& Step) {
          ShowProgress(Step);
          // The one place the user is heard while the scan runs; see the class comment.
          QCoreApplication::processEvents(QEventLoop::AllEvents);
          if (!FPort->Active()) FCancel = true;
        });
    FAsked = report.Asked;
    cancelled = report.Cancelled;
  } catch (...) {
    error = std::current_exception();
  }
  FScanning = false;
  ShowSummary(Plan, cancelled, error != nullptr);
  UpdateControls();
  // A lost port says so in the window's one message, after the dialog has come to rest.
  if (error) HandleApplicationException(error);
  FinishAfterScan();
}

void TScanDialog::ShowProgress(const TScanProgress& Step) {
  FAsked = Step.Done;
  pbProgress->setValue(static_cast<int>(Step.Done));
  const double elapsed = FClock.elapsed() / 1000.0;
  // Before the first answer the time-out is the best guess: most addresses are silent.
  const double each = Step.Done > 0 ? elapsed / static_cast<double>(Step.Done) : seTimeout->value() / 1000.0;
  lStatus->setText(
      QStringLiteral("Asking address %1 at %2 bit/s: %3 so far, %4.")
          .arg(Step.Address)
          .arg(Step.Speed)
          .arg(AnsweredText(FFindings), SecondsLeftText(each * static_cast<double>(Step.Total - Step.Done))));
}

void TScanDialog::ShowSummary(const TScanPlan& Plan, bool Cancelled, bool Failed) {
  const size_t total = Plan.Addresses.size() * Plan.Speeds.size();
  pbProgress->setValue(static_cast<int>(FAsked));
  const QString found = AnsweredText(FFindings) + QLatin1Char('.');
  const QString seconds = QString::number(FClock.elapsed() / 1000.0, 'f', 1);
  if (!FPort->Active())
    lStatus->setText(QStringLiteral("The port was closed: the scan ended after %1 of %2 questions. %3")
                         .arg(FAsked)
                         .arg(total)
                         .arg(found));
  else if (Failed)
    lStatus->setText(QStringLiteral("An error ended the scan after %1 of %2 questions. %3")
                         .arg(FAsked)
                         .arg(total)
                         .arg(found));
  else if (Cancelled)
    lStatus->setText(QStringLiteral("Stopped after %1 of %2 questions in %3 s: %4")
                         .arg(FAsked)
                         .arg(total)
                         .arg(seconds, found));
  else
    lStatus->setText(QStringLiteral("Scanned: %1 questions in %2 s: %3").arg(total).arg(seconds, found));
}

void TScanDialog::AddRow(const TFinding& Finding) {
  FFindings.push_back(Finding);
  const int row = tFound->rowCount();
  tFound->insertRow(row);
  const QStringList cells = ScanRowCells(Finding);
  for (int column = 0; column < colCount; ++column) {
    auto* item = new QTableWidgetItem(cells[column]);
    if (column != colFamily && column != colInfo && column != colStatus)
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    tFound->setItem(row, column, item);
  }
  tFound->scrollToItem(tFound->item(row, 0));
  UpdateControls();
}

void TScanDialog::StopClick() {
  FCancel = true;
  UpdateControls();
}

void TScanDialog::UseClick() {
  const QList<QTableWidgetItem*> selected = tFound->selectedItems();
  if (!selected.isEmpty()) Choose(selected.front()->row());
}

// The device of Row is taken over by the window once the dialog is closed; a running scan is ended first.
void TScanDialog::Choose(int Row) {
  if (Row < 0 || Row >= static_cast<int>(FFindings.size()) || FAfterScan != TAfterScan::Nothing) return;
  FChosen = FFindings[static_cast<size_t>(Row)];
  if (!FScanning) return accept();
  FAfterScan = TAfterScan::Use;
  FCancel = true;
  UpdateControls();
}

void TScanDialog::CloseWhenIdle() {
  if (!FScanning) return QDialog::reject();
  if (FAfterScan == TAfterScan::Nothing) FAfterScan = TAfterScan::Close;
  FCancel = true;
  UpdateControls();
}

// Esc, the close box and "Close" all come here; while a scan runs the dialog only closes once it has ended.
void TScanDialog::reject() {
  if (FAfterScan != TAfterScan::Use) FChosen.reset();
  CloseWhenIdle();
}

void TScanDialog::FinishAfterScan() {
  const TAfterScan after = FAfterScan;
  FAfterScan = TAfterScan::Nothing;
  if (after == TAfterScan::Use) accept();
  if (after == TAfterScan::Close) QDialog::reject();
}

void TScanDialog::CopyClick() {
  QApplication::clipboard()->setText(ScanRowsAsTabText(FFindings));
}

void TScanDialog::SaveClick() {
  const QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("Save the scan"), QStringLiteral("scan.csv"),
                                   QStringLiteral("CSV files (*.csv);;All files (*)"));
  if (!path.isEmpty()) SaveCsv(path);
}

bool TScanDialog::SaveCsv(const QString& Path) {
  QFile file(Path);
  const QByteArray bytes = ScanRowsAsCsv(FFindings).toUtf8();
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() &&
      file.flush())
    return true;
  ShowPlainMessage(this,
                   QStringLiteral("The scan could not be saved to %1: %2.").arg(Path, file.errorString()));
  return false;
}

}  // namespace tarnel
