#pragma once

#include <QDate>
#include <QPointer>
#include <QString>
#include <initializer_list>

#include "engine/DeviceLine.h"
#include "engine/DeviceSearch.h"
#include "engine/Readdressing.h"
#include "protocol/Instructions.h"
#include "ui/fMainLayout.h"

namespace tarnel {

// Sets the enabled state of each component through the property system, children first when Recursive.
// A component without an "enabled" property is passed over; nothing here fails.
void EnableControls(std::initializer_list<QObject*> Components, bool Value, bool Recursive);

// The main window controller: every user action of the window is one handler here.
class TScanDialog;

class TfMain : public TfMainLayout {
 public:
  explicit TfMain(QWidget* Parent = nullptr);

  void AfComPortOpenClose(QObject* Sender);
  void cbbOldSpeedChange(QObject* Sender);
  void bGetClick(QObject* Sender);
  void shpxScanLineClick(QObject* Sender);
  void bUpdateClick(QObject* Sender);
  void bCloseClick(QObject* Sender);
  void bOpenDisconnectClick(QObject* Sender);
  void shpxReadValuesClick(QObject* Sender);
  void Vypalitsriovslo1Click(QObject* Sender);
  void l9Click(QObject* Sender);
  void FormShow(QObject* Sender);

  // Sets the caption to Format filled with the caption first seen here and the product version.
  void ShowVersionInTitle(const QString& Format);

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void BindHandlers();
  void ApplyEnglishTexts();
  void RebuildAddressLists();
  void ReadInfoAndValues(uint8_t Address);
  void SetAddressAndSpeed(uint8_t OldAddress, uint8_t NewAddress, int NewSpeedIndex);
  void SetAddressBySerial(uint8_t NewAddress, TSerialNumber Serial);
  void ShowSetOutcome(TSetOutcome Outcome, bool BySerial);
  // Asks the user whether to move a device onto a place where another one already answers.
  TGoOnOverOccupant GoOnOverOccupant();
  bool ConfirmBurn(const QString& Serial, const QDate& Date);
  // After a silent "Read": whether the user wants the other speeds searched.
  bool OfferOtherSpeeds();
  TFinding SearchOtherSpeeds(TDeviceLine& Line);
  // Selects Found's address in the current-address list and its speed in the port's speed list.
  void SelectFoundDevice(const TFinding& Found);
  QString SerialNumberText() const;
  void Log(const QString& Line);

  QString BaseCaption;                // the caption as first seen by ShowVersionInTitle
  QPointer<TScanDialog> FScanDialog;  // while "Scan line…" is open
  bool FCloseAfterScan = false;       // the window was asked to close while a scan ran
};

}  // namespace tarnel
