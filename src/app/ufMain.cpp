#include "app/ufMain.h"

#include <QCheckBox>
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
#include <array>
#include <functional>
#include <optional>

#include "app/Application.h"
#include "app/BusyWindow.h"
#include "app/ProductVersion.h"
#include "protocol/AnswerCheck.h"
#include "protocol/Decoders.h"
#include "protocol/Exchange.h"
#include "protocol/Instructions.h"
#include "serial/AfComPortExchange.h"
#include "serial/ApplicationErrors.h"
#include "ui/AddressItem.h"
#include "ui/AfPortControls.h"
#include "ui/ShapeEx.h"

namespace tarnel {
namespace {

const QString kNoModuleFound = QStringLiteral("No module found on selected communication interface!");
const QString kPermissionDenied = QStringLiteral("No response from the module or write permission denied!");
const QString kAddressSpeedSet = QStringLiteral("New address and communication speed succesfully set.");
const QString kParametersNotSet = QStringLiteral("Error, new parameters not set!");
const QString kAddressSet = QStringLiteral("New address set succesfully.");
const QString kAddressNotSet = QStringLiteral("Error, new address not set!");
const QString kSerialNumberSet = QStringLiteral("Sériové číslo bylo nastaveno.");
const QString kSeveralBySerial = QStringLiteral(
    "Several devices answered to this serial number: each of them may now have the new address!");
const QString kSerialIncomplete = QStringLiteral(
    "Type the whole serial number: eight digits 0-9, as on the device label (NNNN\\NNNN). Nothing was "
    "written.");
const QString kBurnQuestion = QStringLiteral(
    "Write the serial number %1 with the date %2 into the device?\n\nThe number is sent to the universal "
    "address: every device on the line receives it and takes it.");
const QString kBurnWarning = QStringLiteral(
    "\n\n\"%1\" is not ticked: if more than one device is connected, each of them will take this same "
    "number.");
const QString kSerialRefused = QStringLiteral("The device refused the serial number (result code {1}).");
const QString kSerialDamaged = QStringLiteral(
    "The answer to the serial number write was damaged (several devices on the line?): check the serial "
    "number of each device.");
const QString kSerialSeveral =
    QStringLiteral("Several devices answered: each of them may have taken the serial number {1}.");

const QString kNoResponseValues =
    QStringLiteral("Modul with address \"{0}\" - no rsponse while reading values");
const QString kNoResponseTemperature =
    QStringLiteral("Modul with address \"{0}\" - no rsponse while reading temperature");
const QString kIncorrectInfo = QStringLiteral(
    "Modul with address \"{0}\" - Incorrect response for INFO request (maybe a module with the same "
    "address?)");
const QString kInfo = QStringLiteral("Modul with address \"{0}\" - INFO : {1}");
const QString kIncorrectDataRead = QStringLiteral("Modul with address \"{0}\" - Incorrect tarnel data read");
const QString kIncorrectData = QStringLiteral("Modul with address \"{0}\" - Incorrect tarnel data");
const QString kTempHumidityDew = QStringLiteral(
    "Modul with address \"{0}\" - temperature: {1}°C humidity: {2}% dew point: {3} Valid: {4}");
const QString kBadValues = QStringLiteral("Modul with address \"{0}\" - Incorrect data while reading values");
const QString kTemperature = QStringLiteral("Modul with address \"{0}\" - temperature: {1}");
const QString kBadTemperature = QStringLiteral("Modul with address \"{0}\" - Incorrect temperature data");
const QString kChannel =
    QStringLiteral(" channel {1}: ( value: {2}, valid: {3}, overflow:{4}, underflow:{5} )");
const QString kBadChannels =
    QStringLiteral("Modul with address \"{0}\" - Error parsing received measurement data !");

constexpr int kExchangeTimeoutMs = 500;
constexpr int kAddressListSize = 255;  // 0..254; the new-address list stops before the universal address
constexpr int kStartAddress = 49;

// The port speed of the speed lists' entry Index (both lists offer DeviceSpeeds in order); brUser for an
// index outside the lists.
TAfBaudrate PortSpeedOfEntry(int Index) {
  if (Index < 0 || Index >= static_cast<int>(DeviceSpeeds.size())) return brUser;
  for (int speed = br110; speed < brUser; ++speed)
    if (BaudRateValue(static_cast<TAfBaudrate>(speed)) == DeviceSpeeds[Index])
      return static_cast<TAfBaudrate>(speed);
  return brUser;
}

// How the window reads one family's values: the texts for an answer that is damaged, one that is missing or
// refused, and data of the wrong layout; Decode gives the lines logged for good data, or nothing when the
// layout does not match.
struct TValueReader {
  TDeviceFamily Family;
  const QString& Damaged;
  const QString& NoAnswer;
  const QString& Misshapen;
  std::optional<QStringList> (*Decode)(const ByteString& Data, const QString& Address);
};

std::optional<QStringList> TempHumidityDewLines(const ByteString& Data, const QString& Address);
std::optional<QStringList> TemperatureLines(const ByteString& Data, const QString& Address);
std::optional<QStringList> AnalogChannelLines(const ByteString& Data, const QString& Address);

// A damaged analog answer is reported like the temperature family's, so the technician is never left
// guessing.
const TValueReader kValueReaders[] = {
    {TDeviceFamily::TempHumidityDew, kIncorrectDataRead, kNoResponseValues, kBadValues, TempHumidityDewLines},
    {TDeviceFamily::Temperature, kIncorrectData, kNoResponseTemperature, kBadTemperature, TemperatureLines},
    {TDeviceFamily::AnalogChannels4, kIncorrectData, kNoResponseTemperature, kBadChannels,
     AnalogChannelLines},
};

const TValueReader* ValueReaderOf(TDeviceFamily Family) {
  for (const TValueReader& reader : kValueReaders)
    if (reader.Family == Family) return &reader;
  return nullptr;
}

QString AddressText(uint8_t Address) {
  return QString(QChar(Address));
}

QString Decimal(double Value, int Decimals) {
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale.toString(Value, 'f', Decimals);
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

QString Flag(bool Value) {
  return QString::number(Value ? 1 : 0);
}

std::optional<QStringList> TempHumidityDewLines(const ByteString& Data, const QString& Address) {
  double temperature = 0, humidity = 0, dewPoint = 0;
  bool valid = false;
  if (!DecodeTempHumidityDew(Data, temperature, humidity, dewPoint, valid)) return std::nullopt;
  return QStringList{FormatLogTemplate(
      kTempHumidityDew,
      {Address, Decimal(temperature, 1), Decimal(humidity, 1), Decimal(dewPoint, 1), Flag(valid)})};
}

std::optional<QStringList> TemperatureLines(const ByteString& Data, const QString& Address) {
  double temperature = 0;
  if (!DecodeTemperature16(Data, temperature)) return std::nullopt;
  return QStringList{FormatLogTemplate(kTemperature, {Address, Decimal(temperature, 1)})};
}

std::optional<QStringList> AnalogChannelLines(const ByteString& Data, const QString& Address) {
  std::array<TAnalogChannel, 4> channels{};
  if (!DecodeAnalogChannels4(Data, channels)) return std::nullopt;
  QStringList lines;
  for (int k = 0; k < 4; ++k) {
    const TAnalogChannel& c = channels[k];
    lines << FormatLogTemplate(kChannel, {Address, QString::number(k + 1), Decimal(c.Value, 2), Flag(c.Valid),
                                          Flag(c.Overflow), Flag(c.Underflow)});
  }
  return lines;
}

// Eight ASCII digits in the field's two groups; the mask itself also lets other scripts' digits in.
bool IsCompleteSerialNumber(const QString& Text) {
  if (Text.size() != 9) return false;
  for (int i = 0; i < 9; ++i) {
    if (i == 4) continue;
    if (Text[i] < QLatin1Char('0') || Text[i] > QLatin1Char('9')) return false;
  }
  return true;
}

bool IsDamaged(const TAnswer& Answer) {
  return Answer.Status == TAnswerStatus::NoPacket || Answer.Status == TAnswerStatus::Invalid;
}

// Restores the port's speed on every path once a look at another speed is over.
class TSpeedRestorer {
 public:
  explicit TSpeedRestorer(TAfComPort* Port) : FPort(Port), FSpeed(Port->BaudRate()) {}
  ~TSpeedRestorer() {
    Guarded([this] { FPort->SetBaudRate(FSpeed); });
  }

 private:
  TAfComPort* FPort;
  TAfBaudrate FSpeed;
};

int EntryOf(const QComboBox* List, const QString& Text) {
  for (int i = 0; i < List->count(); ++i)
    if (List->itemText(i) == Text) return i;
  return -1;
}

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

QString FormatLogTemplate(QString Template, std::initializer_list<QString> Values) {
  int index = 0;
  for (const QString& value : Values) {
    Template.replace(QStringLiteral("{%1}").arg(index), value);
    ++index;
  }
  return Template;
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

TAnswer TfMain::Ask(const ByteString& Request, bool ExamineCode) {
  ByteString received;
  {
    TBusyWindow busy;
    TAfComPortExchange line(AfComPort1);
    received = ExchangePacket(&line, Request, kExchangeTimeoutMs, CheckPacket97, StandardExchangeOptions);
  }
  return CheckAnswer(received, Request, ExamineCode);
}

TAnswer TfMain::AskAt(const ByteString& Request, TAfBaudrate Speed) {
  TSpeedRestorer restore(AfComPort1);
  AfComPort1->SetBaudRate(Speed);
  return Ask(Request);
}

void TfMain::bGetClick(QObject*) {
  const TAnswer answer = Ask(BuildFindDeviceRequest());
  if (answer.Status == TAnswerStatus::NoAnswer) {
    ShowPlainMessage(this, kNoModuleFound);
    return;
  }
  if (answer.Status != TAnswerStatus::Ok) return;
  const int entry = EntryOf(cbbOldAddress, AddressText(answer.Packet.Address));
  if (entry >= 0)
    cbbOldAddress->setCurrentIndex(entry);
  else
    ShowPlainMessage(this, kNoModuleFound);
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
  const TSerialNumber serial = ParseSerialNumberText(SerialNumberText().toStdString());
  if (rbByOldADR->isChecked()) SetAddressAndSpeed(oldAddress, newAddress, newSpeedIndex);
  if (rbSerialNumber->isChecked()) SetAddressBySerial(newAddress, serial);
}

void TfMain::SetAddressAndSpeed(uint8_t OldAddress, uint8_t NewAddress, int NewSpeedIndex) {
  if (Ask(BuildWritePermissionRequest(OldAddress)).Status != TAnswerStatus::Ok)
    return ShowPlainMessage(this, kPermissionDenied);
  const TAnswer answer =
      Ask(BuildSetAddressSpeedRequest(OldAddress, NewAddress, SpeedCodeFromIndex(NewSpeedIndex)));
  bool done = answer.Status == TAnswerStatus::Ok;
  // A lost or damaged answer does not mean the device stayed: it may already listen at its new address and
  // speed, where a retry at the old ones would find nothing.
  const TAfBaudrate newSpeed = PortSpeedOfEntry(NewSpeedIndex);
  if ((answer.Status == TAnswerStatus::NoAnswer || IsDamaged(answer)) && newSpeed != brUser)
    done = AskAt(BuildInfoRequest(NewAddress), newSpeed).Status == TAnswerStatus::Ok;
  ShowPlainMessage(this, done ? kAddressSpeedSet : kParametersNotSet);
}

void TfMain::SetAddressBySerial(uint8_t NewAddress, TSerialNumber Serial) {
  const TAnswer answer = Ask(BuildSetAddressBySerialRequest(NewAddress, Serial));
  if (answer.Status == TAnswerStatus::Ok && !answer.MoreFollows) return ShowPlainMessage(this, kAddressSet);
  // Silence means no device has this number; a device already sitting at the new address must not be taken
  // for one that moved there. A damaged answer or several came from devices that may have moved: the new
  // address tells whether one device, or more, took it.
  if (!answer.MoreFollows && !IsDamaged(answer)) return ShowPlainMessage(this, kAddressNotSet);
  const TAnswer check = Ask(BuildInfoRequest(NewAddress));
  const bool several = answer.MoreFollows || check.MoreFollows || (IsDamaged(answer) && IsDamaged(check));
  if (several) return ShowPlainMessage(this, kSeveralBySerial);
  ShowPlainMessage(this, check.Status == TAnswerStatus::Ok ? kAddressSet : kAddressNotSet);
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
  const QString address = AddressText(Address);
  const TAnswer info = Ask(BuildInfoRequest(Address));
  std::string model;
  switch (info.Status) {
    case TAnswerStatus::NoAnswer:
    case TAnswerStatus::NoPacket:
    case TAnswerStatus::Refused:
      Log(FormatLogTemplate(kNoResponseValues, {address}));
      break;
    case TAnswerStatus::Invalid:
      Log(FormatLogTemplate(kIncorrectInfo, {address}));
      break;
    case TAnswerStatus::Ok:
      Log(FormatLogTemplate(kInfo,
                            {address, QString::fromLatin1(info.Packet.Data.data(),
                                                          static_cast<qsizetype>(info.Packet.Data.size()))}));
      model = ModelFromInfo(info.Packet.Data);
      break;
  }
  ReadValues(Address, address, FamilyOfModel(model));
}

void TfMain::ReadValues(uint8_t Address, const QString& AddressText, TDeviceFamily Family) {
  const TValueReader* reader = ValueReaderOf(Family);
  if (!reader) return;  // a family without a value layout gets no value request
  const TAnswer answer = Ask(BuildReadValuesRequest(Address, Family), false);
  if (answer.Status == TAnswerStatus::Invalid) return Log(FormatLogTemplate(reader->Damaged, {AddressText}));
  if (answer.Status != TAnswerStatus::Ok) return Log(FormatLogTemplate(reader->NoAnswer, {AddressText}));
  const std::optional<QStringList> lines = reader->Decode(answer.Packet.Data, AddressText);
  if (!lines) return Log(FormatLogTemplate(reader->Misshapen, {AddressText}));
  for (const QString& line : *lines)
    Log(line);
}

void TfMain::Vypalitsriovslo1Click(QObject*) {
  const QString text = SerialNumberText();
  if (!IsCompleteSerialNumber(text)) return ShowPlainMessage(this, kSerialIncomplete);
  const QDate today = QDate::currentDate();
  if (!ConfirmBurn(text, today)) return;
  const TSerialNumber serial = ParseSerialNumberText(text.toStdString());
  const TAnswer answer = Ask(BuildBurnSerialRequest(serial, {today.year(), today.month(), today.day()}));
  if (answer.Status == TAnswerStatus::NoAnswer) return;
  if (answer.MoreFollows) return Log(FormatLogTemplate(kSerialSeveral, {{}, text}));
  if (answer.Status == TAnswerStatus::Ok) return Log(kSerialNumberSet);
  if (answer.Status == TAnswerStatus::Refused)
    return Log(FormatLogTemplate(kSerialRefused, {{}, QString::number(answer.Packet.Code)}));
  Log(kSerialDamaged);
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
