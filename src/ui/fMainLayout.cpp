#include "ui/fMainLayout.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <initializer_list>

#include "protocol/Instructions.h"
#include "ui/DropDownStyle.h"
#include "ui/LabelPicture.h"
#include "ui/SystemColors.h"
#include "ui_fMain.h"

namespace tarnel {
namespace {

constexpr int kClientWidth = 599;
constexpr int kClientHeight = 759;
constexpr int kListItemHeight = 16;
constexpr int kDropDownCount = 8;
constexpr int32_t kStartSpeed = 9600;  // the port's speed when the window opens
const QColor kWindowColor{0xEC, 0xF1, 0xE3};
const QColor kNavy{0x00, 0x00, 0x80};
const QColor kMaroon{0x80, 0x00, 0x00};
const QColor kGreen{0x00, 0x80, 0x00};

// A list changes under the wheel only while it has the focus: a wheel rolled over the window on its way
// elsewhere must not change the port speed or an address. The event goes on to the parents, which ignore
// it as well.
class TWheelNeedsFocus : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() != QEvent::Wheel) return false;
    const auto* widget = qobject_cast<QWidget*>(Watched);
    if (!widget || widget->hasFocus()) return false;
    Event->ignore();
    return true;
  }
};

// Rows of a plain drop-down list at the list's item height.
class TItemHeightDelegate : public QStyledItemDelegate {
 public:
  TItemHeightDelegate(QObject* Parent, int Height) : QStyledItemDelegate(Parent), FHeight(Height) {}
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    return {QStyledItemDelegate::sizeHint(Option, Index).width(), FHeight};
  }

 private:
  int FHeight;
};

QFont ArialPixels(int PixelSize) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(PixelSize);
  return font;
}

// The system colours the layout was designed with; disabled texts grey.
QPalette WindowPalette() {
  QPalette palette;
  palette.setColor(QPalette::Window, kWindowColor);
  palette.setColor(QPalette::WindowText, clWindowText);
  palette.setColor(QPalette::Base, clWindow);
  palette.setColor(QPalette::Text, clWindowText);
  palette.setColor(QPalette::Button, clBtnFace);
  palette.setColor(QPalette::ButtonText, clBtnText);
  palette.setColor(QPalette::Light, clBtnHighlight);
  palette.setColor(QPalette::Dark, clBtnShadow);
  palette.setColor(QPalette::Highlight, clHighlight);
  palette.setColor(QPalette::HighlightedText, clHighlightText);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, clGrayText);
  palette.setColor(QPalette::Disabled, QPalette::Base, clBtnFace);
  return palette;
}

// Only the enabled look gets the colour: a disabled label turns grey like every other.
void SetLabelFont(QLabel* Label, int PixelSize, const QColor& Color) {
  Label->setFont(ArialPixels(PixelSize));
  QPalette palette = Label->palette();
  palette.setColor(QPalette::Active, QPalette::WindowText, Color);
  palette.setColor(QPalette::Inactive, QPalette::WindowText, Color);
  Label->setPalette(palette);
}

void SetPanelColor(QFrame* Panel, const QColor& Color) {
  QPalette palette = Panel->palette();
  palette.setColor(QPalette::Window, Color);
  Panel->setPalette(palette);
  Panel->setAutoFillBackground(true);
}

}  // namespace

TfMainLayout::TfMainLayout(QWidget* parent) : QWidget(parent), FUi(std::make_unique<Ui::fMain>()) {
  FUi->setupUi(this);
  TakeControls();
  SetupWindow();
  SetupPanels();
  SetupTexts();
  SetupComponents();
  SetupShapeButtons();
  SetupLists();
  ShowLabelPicture(img1, LabelExampleJpeg());
  FitToScreen();
}

TfMainLayout::~TfMainLayout() = default;

void TfMainLayout::TakeControls() {
  const Ui::fMain& ui = *FUi;
  pTop = ui.pTop, p1 = ui.p1, p2 = ui.p2, p3 = ui.p3, p4 = ui.p4, pBottom = ui.pBottom, pnl1 = ui.pnl1;
  shpx1 = ui.shpx1, shpxOpenClose = ui.shpxOpenClose, shpxGetAdrorSn = ui.shpxGetAdrorSn;
  shpxScanLine = ui.shpxScanLine;
  shpxUpdate = ui.shpxUpdate, shpxReadValues = ui.shpxReadValues, shpxCloseApp = ui.shpxCloseApp;
  lblCaption = ui.lblCaption, l1 = ui.l1, lbl1point = ui.lbl1point,
  lblChoseSerialPort = ui.lblChoseSerialPort;
  lblCommunicationSpeed = ui.lblCommunicationSpeed, l2 = ui.l2, lbl2Point = ui.lbl2Point;
  lblStitekExample = ui.lblStitekExample, l4 = ui.l4, lbl3point = ui.lbl3point, lNewAddress = ui.lNewAddress;
  lNewSpeed = ui.lNewSpeed, lblSensorInfo = ui.lblSensorInfo, l9 = ui.l9, img1 = ui.img1;
  bvl1 = ui.bvl1, bvl2 = ui.bvl2, bvlWhite = ui.bvlWhite;
  cbComPort1 = ui.cbComPort1, cbbOldSpeed = ui.cbbOldSpeed, cbbNewSpeed = ui.cbbNewSpeed;
  cbbOldAddress = ui.cbbOldAddress, cbbNewAddress = ui.cbbNewAddress;
  cbOneDeviceOnLine = ui.cbOneDeviceOnLine, rbByOldADR = ui.rbByOldADR, rbSerialNumber = ui.rbSerialNumber;
  medtSerialNumber = ui.medtSerialNumber, mLog = ui.mLog;
}

// A fixed dialog-framed window with only a close box, centred on the screen.
void TfMainLayout::SetupWindow() {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setPalette(WindowPalette());
  setAutoFillBackground(true);
  setFont(ArialPixels(13));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + std::max(0, (area.width() - kClientWidth) / 2),
         area.y() + std::max(0, (area.height() - kClientHeight) / 2));
  }
}

// At a high scale factor the fixed layout can outgrow the screen and put "Close application" out of reach.
// The window then takes the screen's free area and its content scrolls inside it, unchanged. An unscaled
// screen keeps the window at its designed pixel size.
void TfMainLayout::FitToScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen || screen->devicePixelRatio() <= 1.0) return;
  const QRect area = screen->availableGeometry();
  // The title bar is not known before the window manager has framed the window; the style's is near it.
  const QSize room(area.width(),
                   area.height() - style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
  if (kClientWidth <= room.width() && kClientHeight <= room.height()) return;

  // The focus order crosses the panels; moving them would reorder it, so it is kept and restored.
  QList<QWidget*> focusOrder;
  for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain())
    if (w->focusPolicy() != Qt::NoFocus && isAncestorOf(w)) focusOrder << w;

  auto* content = new QWidget;
  content->setObjectName(QStringLiteral("fMainContent"));
  content->setFixedSize(kClientWidth, kClientHeight);
  content->setAutoFillBackground(true);
  for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (!child->isWindow()) child->setParent(content);

  auto* scroller = new QScrollArea(this);
  scroller->setObjectName(QStringLiteral("fMainScroller"));
  scroller->setFrameShape(QFrame::NoFrame);
  scroller->setWidget(content);
  for (int i = 1; i < focusOrder.size(); ++i)
    setTabOrder(focusOrder[i - 1], focusOrder[i]);
  // Whatever takes the focus, by Tab, a click or the program, is scrolled into view.
  connect(qApp, &QApplication::focusChanged, scroller, [scroller, content](QWidget*, QWidget* Now) {
    if (Now && content->isAncestorOf(Now)) scroller->ensureWidgetVisible(Now);
  });

  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  QSize size(kClientWidth, kClientHeight);
  if (size.height() > room.height()) size.rwidth() += bar;
  if (size.width() > room.width()) size.rheight() += bar;
  size = size.boundedTo(room);
  setFixedSize(size);
  scroller->setGeometry(0, 0, size.width(), size.height());
  move(area.x() + (area.width() - size.width()) / 2, area.y() + (room.height() - size.height()) / 2);
}

void TfMainLayout::SetupPanels() {
  SetPanelColor(pTop, QColor(0x3B, 0x8F, 0x00));
  // pnl1 is opaque too: it hides the corner of the log it lies over.
  for (QFrame* panel : {p1, p2, p4, pBottom, pnl1})
    SetPanelColor(panel, clBtnFace);
  SetPanelColor(p3, kWindowColor);
}

void TfMainLayout::SetupTexts() {
  SetLabelFont(lblCaption, 27, Qt::white);
  SetLabelFont(l1, 32, kNavy);
  SetLabelFont(lbl1point, 16, kNavy);
  for (QLabel* numeral : {l2, l4})
    SetLabelFont(numeral, 32, kMaroon);
  for (QLabel* title : {lbl2Point, lbl3point})
    SetLabelFont(title, 16, kMaroon);
  SetLabelFont(l9, 16, kGreen);
  l9->setCursor(Qt::PointingHandCursor);
}

void TfMainLayout::SetupComponents() {
  AfComPort1 = new TAfComPort(this);
  AfComPort1->setObjectName(QStringLiteral("AfComPort1"));
  AfComPort1->SetBaudRate(br9600);
  AfComPort1->Loaded();  // the component's settings from the layout are complete

  shpxclrschm1 = new TShapeExColorSchema(this);
  shpxclrschm1->setObjectName(QStringLiteral("shpxclrschm1"));
  shpxclrschm1->SetDefaultBrushColor(QColor(0xFF, 0xFF, 0xFF));
  shpxclrschm1->SetDefaultFontColor(QColor(0x00, 0x00, 0x00));
  shpxclrschm1->SetDefaultBorderColor(QColor(0x00, 0x00, 0x00));
  shpxclrschm1->SetOnMouseBrushColor(QColor(0xA2, 0xD6, 0xB7));
  shpxclrschm1->SetOnMouseFontColor(QColor(0x00, 0x00, 0x00));
  shpxclrschm1->SetOnMouseBorderColor(QColor(0x00, 0x8F, 0x3B));
  shpxclrschm1->SetDownBrushColor(QColor(0x00, 0x8F, 0x3B));
  shpxclrschm1->SetDownFontColor(QColor(0x00, 0x00, 0x00));
  shpxclrschm1->SetDownBorderColor(QColor(0xA2, 0xD6, 0xB7));
  shpxclrschm1->SetDisabledBrushColor(QColor(0xC0, 0xC0, 0xC0));
  shpxclrschm1->SetDisabledFontColor(QColor(0x00, 0x00, 0x00));
  shpxclrschm1->SetDisabledBorderColor(QColor(0x80, 0x80, 0x80));

  pm1 = new QMenu(this);
  pm1->setObjectName(QStringLiteral("pm1"));
  Vypalitsriovslo1 = pm1->addAction(QStringLiteral("Vypalit sériové číslo"));
  Vypalitsriovslo1->setObjectName(QStringLiteral("Vypalitsriovslo1"));
  // The serial-number field offers this menu in place of the usual edit menu.
  medtSerialNumber->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(medtSerialNumber, &QWidget::customContextMenuRequested, pm1,
          [this](const QPoint& At) { pm1->popup(medtSerialNumber->mapToGlobal(At)); });
}

void TfMainLayout::SetupShapeButtons() {
  shpx1->SetShape(stRectangle);
  shpx1->SetPen(QPen(Qt::NoPen));
  shpx1->setFocusPolicy(Qt::NoFocus);  // the title band is no button
  for (TShapeEx* button :
       {shpxOpenClose, shpxGetAdrorSn, shpxScanLine, shpxUpdate, shpxReadValues, shpxCloseApp}) {
    button->SetShape(stRoundRect);
    button->SetColorSchema(shpxclrschm1);
    button->setFont(ArialPixels(16));
    button->SetFontColor(Qt::black);
  }
}

void TfMainLayout::SetupLists() {
  // Both speed lists offer the speeds a device can be set to, and no other.
  for (QComboBox* speeds : {cbbOldSpeed, cbbNewSpeed}) {
    for (int32_t bitsPerSecond : DeviceSpeeds)
      speeds->addItem(QString::number(bitsPerSecond));
    speeds->setCurrentIndex(speeds->findText(QString::number(kStartSpeed)));
    UseDropDownList(speeds);
    speeds->setItemDelegate(new TItemHeightDelegate(speeds, kListItemHeight));
    speeds->setMaxVisibleItems(kDropDownCount);
  }
  for (TAddressComboBox* addresses : {cbbOldAddress, cbbNewAddress}) {
    addresses->SetItemHeight(kListItemHeight);
    addresses->OnDrawItem = cbbOldAddressDrawItem;
  }
  cbbOldAddress->OnMeasureItem = cbbOldAddressMeasureItem;
  cbbNewAddress->setMaxVisibleItems(kDropDownCount);
  cbComPort1->setMaxVisibleItems(kDropDownCount);
  cbComPort1->SetComPort(AfComPort1);
  cbComPort1->SetMaxComPorts(255);
  // Focus by Tab or a click, never by the wheel (a list's usual policy takes it from the wheel too).
  auto* wheel = new TWheelNeedsFocus(this);
  const std::initializer_list<QComboBox*> lists = {cbComPort1, cbbOldSpeed, cbbOldAddress, cbbNewAddress,
                                                   cbbNewSpeed};
  for (QComboBox* list : lists) {
    list->setFocusPolicy(Qt::StrongFocus);
    list->installEventFilter(wheel);
  }
}

}  // namespace tarnel
