#pragma once

#include <QComboBox>
#include <QMetaObject>
#include <cstdint>
#include <functional>

#include "ui/OwnerDraw.h"

namespace tarnel {

class TAfComPort;

enum TAfPortCtlOption : uint8_t { pcCheckExist, pcDisableOpen, pcHighlightOpen };
// A set of TAfPortCtlOption: bit n stands for the option with ordinal n.
using TAfPortCtlOptions = uint8_t;
constexpr TAfPortCtlOptions PortCtlOption(TAfPortCtlOption Option) {
  return static_cast<TAfPortCtlOptions>(1u << Option);
}

// What ProbePort found, in the high half of an entry's word.
enum TAfPortState : uint16_t { psBusy = 0, psFree = 1, psMissing = 2 };

// The list of serial ports COM1 .. COM<MaxComPorts> of this machine, linked to one serial port component:
// the user's pick sets the component's ComNumber and opens it. The list is built when the control is first
// polished (about to be shown or rendered), again on a font change, after every pick, and each time it drops
// down, so an adapter plugged in later appears. The dropped-down list shows each port's device and USB
// adapter beside it and marks ports in use, refused or open here; when the folder TARNEL_COM_DIR names does
// not exist, it shows one disabled entry saying so instead of an empty list.
class TAfPortComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit TAfPortComboBox(QWidget* Parent = nullptr);

  TAfComPort* ComPort() const { return FComPort; }
  void SetComPort(TAfComPort* Value);
  TAfPortCtlOptions Options() const { return FOptions; }
  void SetOptions(TAfPortCtlOptions Value);
  int16_t MaxComPorts() const { return FMaxComPorts; }
  void SetMaxComPorts(int16_t Value);
  uint16_t SelectedPort() const { return FSelectedPort; }
  void SetSelectedPort(uint16_t Value);

  // The port number of entry Index; 0 for -1.
  uint16_t ItemPortNumber(int Index) const;
  // N in the low half, its TAfPortState in the high half.
  static uint32_t ProbePort(uint16_t N);
  void UpdatePortList();
  void SelectCurrentPort();
  // The user picked an entry. A failure to open the port passes on after the list has been rebuilt.
  virtual void Change();
  // Draws entry Index into Rect on a canvas prepared by the list (brush, text colour, font).
  void DrawItem(QPainter* Canvas, int Index, const QRect& Rect, TOwnerDrawState State) const;
  int ItemHeight() const { return FItemHeight; }

  void showPopup() override;

  std::function<void(QObject* Sender)> OnChange;
  // After every pick, once the attempt to open is over: the port is open, or its error has been shown.
  std::function<void(QObject* Sender)> OnPortPicked;

  // Item data roles: the entry's word, the device behind it, the mark of a port that cannot be had
  // ("(in use)", "(no permission)", "(open)"; empty otherwise), and the USB adapter as the system names it
  // ("FT232R USB UART (FTDI) A10K2LX"; empty for a built-in UART or a pseudo-terminal).
  static constexpr int kWordRole = Qt::UserRole;
  static constexpr int kDeviceRole = Qt::UserRole + 1;
  static constexpr int kMarkRole = Qt::UserRole + 2;
  static constexpr int kAdapterRole = Qt::UserRole + 3;

 protected:
  bool event(QEvent* Event) override;
  void changeEvent(QEvent* Event) override;

 private:
  struct TListedPort {
    uint32_t Word;
    QString Mark;
  };
  bool Listed(TAfPortState State) const;
  TListedPort ProbeListedPort(uint16_t N) const;
  void AddFolderNote();
  void RestoreSelection();
  void Picked();

  TAfComPort* FComPort = nullptr;
  QMetaObject::Connection FComPortGone;
  uint16_t FSelectedPort = 0;
  TAfPortCtlOptions FOptions = PortCtlOption(pcCheckExist);
  int16_t FMaxComPorts = 4;
  int FItemHeight = 0;
  bool FListCreated = false;
};

}  // namespace tarnel
