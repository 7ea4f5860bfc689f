#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QString>
#include <QWidget>
#include <memory>

#include "serial/AfComPort.h"
#include "ui/AddressItem.h"
#include "ui/AfPortControls.h"
#include "ui/ShapeEx.h"

namespace Ui {
class fMain;
}

namespace tarnel {

// The window fMain as laid out: 599 x 759 client pixels, six stacked panels and every control with its
// geometry, font, colour, Czech text, initial state and items; the colour scheme of the buttons, the popup
// menu of the serial-number field and the serial port component. Binding the workflow handlers is left to
// the controller that derives from it; only the drawing of the two address lists is bound here.
class TfMainLayout : public QWidget {
  Q_OBJECT
 public:
  explicit TfMainLayout(QWidget* parent = nullptr);
  ~TfMainLayout() override;

  QFrame *pTop, *p1, *p2, *p3, *p4, *pBottom, *pnl1;
  TShapeEx *shpx1, *shpxOpenClose, *shpxGetAdrorSn, *shpxScanLine, *shpxUpdate, *shpxReadValues,
      *shpxCloseApp;
  TShapeExColorSchema* shpxclrschm1;
  QLabel *lblCaption, *l1, *lbl1point, *lblChoseSerialPort, *lblCommunicationSpeed, *l2, *lbl2Point,
      *lblStitekExample, *l4, *lbl3point, *lNewAddress, *lNewSpeed, *lblSensorInfo, *l9, *img1;
  QFrame *bvl1, *bvl2, *bvlWhite;
  TAfPortComboBox* cbComPort1;
  QComboBox *cbbOldSpeed, *cbbNewSpeed;
  TAddressComboBox *cbbOldAddress, *cbbNewAddress;
  QCheckBox* cbOneDeviceOnLine;
  QRadioButton *rbByOldADR, *rbSerialNumber;
  QLineEdit* medtSerialNumber;
  QPlainTextEdit* mLog;
  QMenu* pm1;
  QAction* Vypalitsriovslo1;
  TAfComPort* AfComPort1;

  QString Caption() const { return windowTitle(); }
  void SetCaption(const QString& Value) { setWindowTitle(Value); }

 private:
  void TakeControls();
  void SetupWindow();
  void SetupPanels();
  void SetupTexts();
  void SetupShapeButtons();
  void SetupLists();
  void SetupComponents();
  void FitToScreen();

  std::unique_ptr<Ui::fMain> FUi;
};

}  // namespace tarnel
