#include "app/ufMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/BusyWindow.h"
#include "app/PortLine.h"
#include "app/ProductVersion.h"
#include "app/ScanDialog.h"
#include "engine/DeviceLine.h"
#include "engine/DeviceSearch.h"
#include "engine/Readdressing.h"
#include "engine/SerialBurn.h"
#include "engine/ValueLog.h"
#include "protocol/Instructions.h"
#include "serial/AfComPortExchange.h"
#include "serial/ApplicationErrors.h"
#include "ui/AddressItem.h"
#include "ui/AfPortControls.h"
#include "ui/ShapeEx.h"

namespace tarnel {
namespace {

const QString kNoModuleFound = QString::fromUtf8(kNoModuleFoundText);
const QString kSearchOtherSpeeds = QStringLiteral("Search for the device at the other speeds?");
const QString kBurnQuestion = QStringLiteral(
    "Write the serial number %1 with the date %2 into the device?\n\nThe number is sent to the universal "
    "address: every device on the line receives it and takes it.");
const QString kBurnWarning = QStringLiteral(
    "\n\n\"%1\" is not ticked: if more than one device is connected, each of them will take this same "
    "number.");
const QString kOccupiedQuestion = QStringLiteral(
    "\n\nGive this device the same address all the same? Two devices at one address answer at once and "
    "cannot be told apart.");
constexpr int kAddressListSize = 255;  // 0..254; the new-address list stops before the universal address
constexpr int kStartAddress = 49;

// The port speed of the speed lists' entry Index (both lists offer DeviceSpeeds in order); brUser for an
// index outside the lists.
TAfBaudrate PortSpeedOfEntry(int Index) {
  if (Index < 0 || Index >= static_cast<int>(DeviceSpeeds.size())) return brUser;
  return BaudRateOfValue(DeviceSpeeds[Index]);
}

QString AddressText(uint8_t Address) {
  return QString(QChar(Address));
}

// Fills "%s" and "%d" in order from Values; the values themselves are never scanned again.
QString FormatCaption(const QString& Format, const QStringList& Values) {
  QString result;
  qsizetype next = 0;
  for (qsizetype i = 0; i < Format.size(); ++i) {
    const bool placeholder = Format[i] == QLatin1Char('%') && i + 1 < Format.size() &&
                             (Format[i + 1] == QLatin1Char('s') || Format[i + 1] == QLatin1Char('d'));
    if (placeholder && next < Values.size()) {
      result += Values[next++];
      ++i;
    } else {
      result += Format[i];
    }
  }
  return result;
}

// Labels size themselves to their text, so a longer English text is never cut off.
void SetLabelText(QLabel* Label, const QString& Text) {
  Label->setText(Text);
  if (!Label->wordWrap()) Label->resize(std::max(Label->width(), Label->sizeHint().width()), Label->height());
}

int EntryOf(const QComboBox* List, const QString& Text) {
  for (int i = 0; i < List->count(); ++i)
    if (List->itemText(i) == Text) return i;
  return -1;
}

QString Utf8(const std::string& Text) {
  return QString::fromStdString(Text);
}

// The window's line: every exchange blocks the window and shows the busy cursor while it runs.
class TWindowLine : public TPortLine {
 public:
  explicit TWindowLine(TAfComPort* Port) : TPortLine(Port) {}

 protected:
  ByteString Exchange(const ByteString& Request, int32_t TimeoutMs, TListen Listen) override {
    TBusyWindow busy;
    return TDeviceLine::Exchange(Request, TimeoutMs, Listen);
  }
};

}  // namespace

void EnableControls(std::initializer_list<QObject*> Components, bool Value, bool Recursive) {
  for (QObject* component : Components) {
    if (!component) continue;
    if (Recursive)
      for (QObject* child : component->children())
        EnableControls({child}, Value, true);
    if (component->metaObject()->indexOfProperty("enabled") >= 0) component->setProperty("enabled", Value);
  }
}

TfMain::TfMain(QWidget* Parent) : TfMainLayout(Parent) {
  BindHandlers();
  AfComPortOpenClose(this);  // the window's creation event
}

void TfMain::BindHandlers() {
  auto bind = [this](void (TfMain::*Handler)(QObject*)) {
    return [this, Handler](QObject* Sender) { Guarded([&] { (this->*Handler)(Sender); }); };
  };
  AfComPort1->OnPortOpen = bind(&TfMain::AfComPortOpenClose);
  AfComPort1->OnPortClose = bind(&TfMain::AfComPortOpenClose);
  // After a failed open from the list the port did not fire OnPortOpen; the state is worked out anew so
  // "Open port" is usable for another try.
  cbComPort1->OnPortPicked = bind(&TfMain::AfComPortOpenClose);
  connect(cbOneDeviceOnLine, &QCheckBox::clicked, this,
          [this] { Guarded([this] { AfComPortOpenClose(cbOneDeviceOnLine); }); });
  connect(rbByOldADR, &QRadioButton::clicked, this,
          [this] { Guarded([this] { AfComPortOpenClose(rbByOldADR); }); });
  connect(rbSerialNumber, &QRadioButton::clicked, this,
          [this] { Guarded([this] { AfComPortOpenClose(rbSerialNumber); }); });
  connect(cbbOldSpeed, &QComboBox::currentIndexChanged, this,
          [this] { Guarded([this] { cbbOldSpeedChange(cbbOldSpeed); }); });
  shpxOpenClose->onClick = bind(&TfMain::bOpenDisconnectClick);
  shpxGetAdrorSn->onClick = bind(&TfMain::bGetClick);
  shpxScanLine->onClick = bind(&TfMain::shpxScanLineClick);
  shpxUpdate->onClick = bind(&TfMain::bUpdateClick);
  shpxReadValues->onClick = bind(&TfMain::shpxReadValuesClick);
  shpxCloseApp->onClick = bind(&TfMain::bCloseClick);
  connect(Vypalitsriovslo1, &QAction::triggered, this,
          [this] { Guarded([this] { Vypalitsriovslo1Click(Vypalitsriovslo1); }); });
  l9->installEventFilter(this);
}

bool TfMain::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == l9 && Event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
    Guarded([this] { l9Click(l9); });
    return true;
  }
  return TfMainLayout::eventFilter(Watched, Event);
}

void TfMain::showEvent(QShowEvent* Event) {
  TfMainLayout::showEvent(Event);
  // Only a show the program asked for; the window system's own map/unmap is not a new show.
  if (!Event->spontaneous()) Guarded([this] { FormShow(this); });
}

// A scan runs inside the dialog's handler: the window closes once the scan has ended and the dialog with it.
void TfMain::closeEvent(QCloseEvent* Event) {
  if (FScanDialog && FScanDialog->Scanning()) {
    FCloseAfterScan = true;
    FScanDialog->CloseWhenIdle();
    Event->ignore();
    return;
  }
  TfMainLayout::closeEvent(Event);
}

void TfMain::AfComPortOpenClose(QObject*) {
  shpxOpenClose->SetCaption(AfComPort1->Active() ? QStringLiteral("Close port")
                                                 : QStringLiteral("Open port"));
  shpxOpenClose->update();
  const bool active = AfComPort1->Active();
  const bool byAddress = rbByOldADR->isChecked();
  EnableControls({p2, p3, rbByOldADR, rbSerialNumber, cbbNewAddress, cbbNewSpeed, lNewAddress, lNewSpeed},
                 active, true);
  shpxOpenClose->setEnabled(AfComPort1->ComNumber() != 0);
  shpxUpdate->setEnabled(active);
  shpxScanLine->setEnabled(active);
  shpxGetAdrorSn->setEnabled(active && cbOneDeviceOnLine->isChecked() && byAddress);
  EnableControls({cbbOldAddress}, active && byAddress, false);
  EnableControls({medtSerialNumber}, active && rbSerialNumber->isChecked(), false);
  EnableControls({lNewSpeed, cbbNewSpeed}, active && byAddress, false);
  RebuildAddressLists();
}

void TfMain::RebuildAddressLists() {
  cbbOldAddress->clear();
  cbbNewAddress->clear();
  for (int address = 0; address < kAddressListSize; ++address) {
    cbbOldAddress->addItem(AddressText(address), address);
    if (address < UniversalAddress) cbbNewAddress->addItem(AddressText(address), address);
  }
  cbbOldAddress->setCurrentIndex(kStartAddress);
  cbbNewAddress->setCurrentIndex(kStartAddress);
}

void TfMain::bOpenDisconnectClick(QObject*) {
  AfComPort1->SetActive(!AfComPort1->Active());
}

void TfMain::cbbOldSpeedChange(QObject*) {
  const int index = cbbOldSpeed->currentIndex();
  const TAfBaudrate speed = PortSpeedOfEntry(index);
  if (speed != brUser) AfComPort1->SetBaudRate(speed);
}

void TfMain::bCloseClick(QObject*) {
  close();
}

void TfMain::bGetClick(QObject*) {
  TWindowLine line(AfComPort1);
  TFinding found = FindDevice(line);
  if (found.Status == TFindStatus::Silent) {
    if (!OfferOtherSpeeds()) return;
    found = SearchOtherSpeeds(line);
    if (found.Status == TFindStatus::Silent) return ShowPlainMessage(this, kNoModuleFound);
  }
  // A damaged answer or a refusal has already said what it could; the list stays as it was.
  if (found.Status != TFindStatus::Found && found.Status != TFindStatus::Several) return;
  const int entry = EntryOf(cbbOldAddress, AddressText(found.Address));
  if (entry >= 0)
    cbbOldAddress->setCurrentIndex(entry);
  else
    ShowPlainMessage(this, kNoModuleFound);
}

void TfMain::shpxScanLineClick(QObject*) {
  if (FScanDialog || !AfComPort1->Active()) return;
  TScanDialog dialog(AfComPort1, this);
  FScanDialog = &dialog;
  const bool chosen = dialog.exec() == QDialog::Accepted && dialog.Chosen();
  FScanDialog = nullptr;
  if (FCloseAfterScan) {
    FCloseAfterScan = false;
    close();
    return;
  }
  if (chosen) SelectFoundDevice(*dialog.Chosen());
}

// As after a speed search: the address list shows the device and the port goes on at its speed. The
// address list is only usable in the by-address mode, so that mode is chosen first (its state handler
// rebuilds the lists).
void TfMain::SelectFoundDevice(const TFinding& Found) {
  if (!rbByOldADR->isChecked()) {
    rbByOldADR->setChecked(true);
    AfComPortOpenClose(rbByOldADR);
  }
  const int entry = EntryOf(cbbOldAddress, AddressText(Found.Address));
  if (entry >= 0) cbbOldAddress->setCurrentIndex(entry);
  const auto speed = std::find(DeviceSpeeds.begin(), DeviceSpeeds.end(), Found.Speed);
  if (speed != DeviceSpeeds.end())
    cbbOldSpeed->setCurrentIndex(static_cast<int>(speed - DeviceSpeeds.begin()));
}

bool TfMain::OfferOtherSpeeds() {
  QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, kNoModuleFound, QMessageBox::Yes | QMessageBox::No,
                  this);
  box.setInformativeText(kSearchOtherSpeeds);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

// Every other device speed, the common ones first; where a device answers, the speed list is set to that
// speed, and the port goes on at it.
TFinding TfMain::SearchOtherSpeeds(TDeviceLine& Line) {
  std::vector<int32_t> speeds;
  for (const int32_t speed : SearchSpeedOrder)
    if (speed != Line.Speed()) speeds.push_back(speed);
  const std::atomic<bool> never{false};
  const TFinding found = FindAtSpeeds(Line, speeds, never);
  if (found.Status == TFindStatus::Silent) return found;
  const auto entry = std::find(DeviceSpeeds.begin(), DeviceSpeeds.end(), found.Speed) - DeviceSpeeds.begin();
  cbbOldSpeed->setCurrentIndex(static_cast<int>(entry));
  return found;
}

QString TfMain::SerialNumberText() const {
  // Unfilled positions of the masked field read as spaces.
  return medtSerialNumber->displayText().replace(QLatin1Char('_'), QLatin1Char(' '));
}

void TfMain::bUpdateClick(QObject*) {
  const QString oldText = cbbOldAddress->currentText();
  if (oldText.isEmpty()) return;
  // Everything the window says is read before the first exchange.
  const uint8_t oldAddress = static_cast<uint8_t>(oldText.at(0).unicode());
  const uint8_t newAddress = static_cast<uint8_t>(cbbNewAddress->currentIndex());
  const int newSpeedIndex = cbbNewSpeed->currentIndex();
  if (rbByOldADR->isChecked()) SetAddressAndSpeed(oldAddress, newAddress, newSpeedIndex);
  if (!rbSerialNumber->isChecked()) return;
  // A partly typed number would move every device whose number has those digits (0000\0000 when empty).
  const std::optional<TSerialNumber> serial = SerialNumberOf(SerialNumberText().toStdString());
  if (!serial) return ShowPlainMessage(this, Utf8(kSerialIncompleteText));
  SetAddressBySerial(newAddress, *serial);
}

void TfMain::SetAddressAndSpeed(uint8_t OldAddress, uint8_t NewAddress, int NewSpeedIndex) {
  TWindowLine line(AfComPort1);
  const TSetResult result = tarnel::SetAddressAndSpeed(line, OldAddress, NewAddress,
                                                       SpeedCodeFromIndex(NewSpeedIndex), GoOnOverOccupant());
  ShowSetOutcome(result.Outcome, false);
}

void TfMain::SetAddressBySerial(uint8_t NewAddress, TSerialNumber Serial) {
  TWindowLine line(AfComPort1);
  const TSetResult result = tarnel::SetAddressBySerial(line, NewAddress, Serial, GoOnOverOccupant());
  ShowSetOutcome(result.Outcome, true);
}

void TfMain::ShowSetOutcome(TSetOutcome Outcome, bool BySerial) {
  const QString text = Utf8(SetOutcomeText(Outcome, BySerial));
  if (!text.isEmpty()) ShowPlainMessage(this, text);
}

// Two devices at one address answer at once and can no longer be told apart: the user decides, No first.
TGoOnOverOccupant TfMain::GoOnOverOccupant() {
  return [this](const TFinding& Occupant) {
    const QString where = QStringLiteral("address \"%1\" at %2 bit/s")
                              .arg(AddressText(Occupant.Address), QString::number(Occupant.Speed));
    QMessageBox box(QMessageBox::Warning, ApplicationTitle,
                    Utf8(OccupiedPlaceText(Occupant, where.toStdString())) + kOccupiedQuestion,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  };
}

void TfMain::shpxReadValuesClick(QObject*) {
  mLog->clear();
  const QString oldText = cbbOldAddress->currentText();
  const QString newText = cbbNewAddress->currentText();
  if (!oldText.isEmpty()) ReadInfoAndValues(static_cast<uint8_t>(oldText.at(0).unicode()));
  if (oldText != newText && !newText.isEmpty())
    ReadInfoAndValues(static_cast<uint8_t>(newText.at(0).unicode()));
}

void TfMain::ReadInfoAndValues(uint8_t Address) {
  TWindowLine line(AfComPort1);
  const TDeviceReading reading =
      tarnel::ReadInfoAndValues(line, Address, QLocale().decimalPoint().toStdString());
  for (const std::string& text : reading.LogLines)
    Log(Utf8(text));
}

void TfMain::Vypalitsriovslo1Click(QObject*) {
  const QString text = SerialNumberText();
  const std::optional<TSerialNumber> serial = SerialNumberOf(text.toStdString());
  if (!serial) return ShowPlainMessage(this, Utf8(kSerialIncompleteText));
  const QDate today = QDate::currentDate();
  if (!ConfirmBurn(text, today)) return;
  TWindowLine line(AfComPort1);
  const TBurnResult result = BurnSerialNumber(line, *serial, {today.year(), today.month(), today.day()});
  Log(Utf8(BurnLogLine(result, text.toStdString())));
}

// The number goes to the universal address, so every device on the line takes it: the user says yes to
// the exact number and date first.
bool TfMain::ConfirmBurn(const QString& Serial, const QDate& Date) {
  QString question = kBurnQuestion.arg(Serial, Date.toString(Qt::ISODate));
  const bool oneDevice = cbOneDeviceOnLine->isChecked();
  if (!oneDevice) question += kBurnWarning.arg(cbOneDeviceOnLine->text());
  QMessageBox box(oneDevice ? QMessageBox::Question : QMessageBox::Warning, ApplicationTitle, question,
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void TfMain::Log(const QString& Line) {
  mLog->appendPlainText(Line);
}

void TfMain::l9Click(QObject*) {
  QDesktopServices::openUrl(QUrl::fromUserInput(l9->text()));
}

void TfMain::FormShow(QObject*) {
  ApplyEnglishTexts();
  ShowVersionInTitle(QStringLiteral("%s v.%d.%d.%d.%d"));
}

void TfMain::ShowVersionInTitle(const QString& Format) {
  if (BaseCaption.isEmpty()) BaseCaption = Caption();
  TProductVersion version;
  const bool known = ReadProductVersion(version);
  const QStringList values = {BaseCaption, QString::number(version.Major), QString::number(version.Minor),
                              QString::number(version.Release), QString::number(version.Build)};
  SetCaption(FormatCaption(known ? Format : QStringLiteral("%s"), values));
}

void TfMain::ApplyEnglishTexts() {
  SetLabelText(lblCaption, QStringLiteral("Tarnel device address setup"));
  SetLabelText(lbl1point, QStringLiteral("Communication parameters settings"));
  SetLabelText(lblChoseSerialPort, QStringLiteral("Serial port:"));
  SetLabelText(lblCommunicationSpeed, QStringLiteral("Serial speed"));
  cbOneDeviceOnLine->setText(QStringLiteral("Only one sensor / module on this line"));
  shpxOpenClose->SetCaption(QStringLiteral("Open port"));
  SetLabelText(lbl2Point, QStringLiteral("Set-up mode"));
  rbByOldADR->setText(QStringLiteral("By current address:"));
  rbSerialNumber->setText(QStringLiteral("By serial number:"));
  SetLabelText(lblStitekExample, QStringLiteral("Example of the device label:"));
  shpxGetAdrorSn->SetCaption(QStringLiteral("Read"));
  shpxScanLine->SetCaption(QStringLiteral("Scan line…"));
  SetLabelText(lbl3point, QStringLiteral("Set new address"));
  SetLabelText(lNewAddress, QStringLiteral("New address:"));
  SetLabelText(lNewSpeed, QStringLiteral("New communication speed:"));
  shpxUpdate->SetCaption(QStringLiteral("Set"));
  SetLabelText(lblSensorInfo,
               QStringLiteral(
                   "Sensor/Module Information (new and the old arres is used to obtain this information) "));
  shpxReadValues->SetCaption(QStringLiteral("Read Values"));
  shpxCloseApp->SetCaption(QStringLiteral("Close application"));
}

}  // namespace tarnel
