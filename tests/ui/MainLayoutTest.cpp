#include "ui/fMainLayout.h"

#include <QAbstractButton>
#include <QApplication>
#include <QStyleOptionViewItem>
#include <QTest>
#include <algorithm>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Pixels.h"
#include "ui/Bevel.h"
#include "ui/LabelPicture.h"

namespace tarnel {
namespace {

using test::Grab;
using test::PixelAt;

QString TextOf(const QWidget* Widget) {
  if (auto* label = qobject_cast<const QLabel*>(Widget)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(Widget)) return button->text();
  if (auto* shape = qobject_cast<const TShapeEx*>(Widget)) return shape->Caption();
  if (auto* combo = qobject_cast<const QComboBox*>(Widget)) return combo->currentText();
  if (auto* edit = qobject_cast<const QLineEdit*>(Widget)) return edit->displayText();
  if (auto* memo = qobject_cast<const QPlainTextEdit*>(Widget)) return memo->toPlainText();
  return {};
}

// Every control of the window: kind, parent, place, text and whether it starts enabled.
struct TControl {
  const char* Name;
  const char* Kind;
  const char* Parent;
  QRect Geometry;
  QString Text;
  bool Enabled;
};

const char* const kCaption = "Nastavení adresy zařízení s protokolem Tarnel";

const std::vector<TControl>& Controls() {
  static const std::vector<TControl> controls = {
      {"pTop", "QFrame", "fMain", {0, 0, 599, 58}, "", true},
      {"p1", "QFrame", "fMain", {0, 58, 599, 150}, "", true},
      {"p2", "QFrame", "fMain", {0, 208, 599, 184}, "", true},
      {"p3", "QFrame", "fMain", {0, 392, 599, 121}, "", true},
      {"p4", "QFrame", "fMain", {0, 513, 599, 178}, "", true},
      {"pBottom", "QFrame", "fMain", {0, 691, 599, 68}, "", true},
      {"shpx1", "tarnel::TShapeEx", "pTop", {1, 1, 597, 56}, "", true},
      {"lblCaption", "QLabel", "pTop", {16, 18, 557, 32}, kCaption, true},
      {"l1", "QLabel", "p1", {17, 3, 27, 36}, "1.", true},
      {"lbl1point", "QLabel", "p1", {49, 17, 308, 18}, "Nastavení parametrů komunikačního rozhraní", true},
      {"bvl1", "tarnel::TBevel", "p1", {15, 28, 570, 9}, "", true},
      {"lblChoseSerialPort", "QLabel", "p1", {49, 53, 72, 16}, "Sériový port:", true},
      {"lblCommunicationSpeed", "QLabel", "p1", {49, 85, 129, 16}, "Komunikační rychlost:", true},
      {"cbComPort1", "tarnel::TAfPortComboBox", "p1", {225, 52, 161, 24}, "", true},
      {"cbbOldSpeed", "QComboBox", "p1", {225, 82, 161, 24}, "9600", true},
      {"cbOneDeviceOnLine",
       "QCheckBox",
       "p1",
       {26, 116, 370, 17},
       " Na tomto sériovém portu je připojen jen jeden modul/čidlo",
       true},
      {"shpxOpenClose", "tarnel::TShapeEx", "p1", {424, 54, 153, 49}, "Otevřít port", true},
      {"l2", "QLabel", "p2", {18, 3, 27, 36}, "2.", true},
      {"lbl2Point", "QLabel", "p2", {50, 17, 172, 18}, "Výběr způsobu nastavení", true},
      {"bvl2", "tarnel::TBevel", "p2", {16, 28, 569, 9}, "", true},
      {"rbByOldADR", "QRadioButton", "p2", {34, 53, 167, 17}, "Podle současné adresy:", false},
      {"rbSerialNumber", "QRadioButton", "p2", {34, 85, 175, 17}, "Podle sériového čísla:", false},
      {"cbbOldAddress", "tarnel::TAddressComboBox", "p2", {227, 52, 160, 22}, "A", false},
      {"medtSerialNumber", "QLineEdit", "p2", {227, 82, 158, 24}, "____\\____", false},
      {"lblStitekExample", "QLabel", "p2", {49, 118, 147, 16}, "Příklad štítku na zařízení:", true},
      {"img1", "QLabel", "p2", {227, 115, 159, 58}, "", true},
      {"shpxGetAdrorSn", "tarnel::TShapeEx", "p2", {424, 55, 153, 49}, "Načíst", false},
      {"shpxScanLine", "tarnel::TShapeEx", "p2", {424, 117, 153, 45}, "Prohledat linku…", false},
      {"l4", "QLabel", "p3", {18, 3, 27, 36}, "3.", true},
      {"lbl3point", "QLabel", "p3", {50, 17, 156, 18}, "Nastavení nové adresy", true},
      {"bvlWhite", "tarnel::TBevel", "p3", {16, 28, 569, 9}, "", true},
      {"lNewAddress", "QLabel", "p3", {53, 53, 75, 16}, "Nová adresa:", false},
      {"lNewSpeed", "QLabel", "p3", {53, 85, 159, 16}, "Nová komunikační rychlost:", false},
      {"cbbNewAddress", "tarnel::TAddressComboBox", "p3", {227, 52, 160, 22}, "A", false},
      {"cbbNewSpeed", "QComboBox", "p3", {227, 82, 160, 24}, "9600", false},
      {"shpxUpdate", "tarnel::TShapeEx", "p3", {424, 54, 153, 49}, "Nastavit", false},
      {"lblSensorInfo",
       "QLabel",
       "p4",
       {17, 13, 497, 16},
       "Informace o čidle (k adresaci se používá nová, případně i stará adresa z bodu 3. a 2.): ",
       false},
      {"mLog", "QPlainTextEdit", "p4", {16, 32, 561, 129}, "", true},
      {"pnl1", "QFrame", "p4", {416, 104, 169, 65}, "", true},
      {"shpxReadValues", "tarnel::TShapeEx", "pnl1", {8, 9, 153, 45}, "Přečíst hodnoty", true},
      {"l9", "QLabel", "pBottom", {24, 25, 130, 18}, "tarnel.example", true},
      {"shpxCloseApp", "tarnel::TShapeEx", "pBottom", {424, 12, 153, 45}, "Ukončit aplikaci", true},
  };
  return controls;
}

class MainLayoutTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { Window = new TfMainLayout(); }
  static void TearDownTestSuite() {
    delete Window;
    Window = nullptr;
  }
  static TfMainLayout* Window;
};
TfMainLayout* MainLayoutTest::Window = nullptr;

TEST_F(MainLayoutTest, WindowIsAFixedDialogWithOnlyACloseBox) {
  EXPECT_EQ(Window->objectName(), "fMain");
  EXPECT_EQ(Window->size(), QSize(599, 759));
  EXPECT_EQ(Window->minimumSize(), QSize(599, 759));
  EXPECT_EQ(Window->maximumSize(), QSize(599, 759));
  const Qt::WindowFlags flags = Window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::MSWindowsFixedSizeDialogHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(Window->Caption(), "Tarnel Communication Setup");
  EXPECT_EQ(Window->font().family(), "Arial");
  EXPECT_EQ(Window->font().pixelSize(), 13);
  EXPECT_EQ(Window->palette().color(QPalette::Window), QColor(0xEC, 0xF1, 0xE3));
}

TEST_F(MainLayoutTest, CaptionIsTheWindowTitle) {
  TfMainLayout window;
  window.SetCaption(QStringLiteral("Tarnel Communication Setup v.2.0.3.0"));
  EXPECT_EQ(window.windowTitle(), "Tarnel Communication Setup v.2.0.3.0");
}

TEST_F(MainLayoutTest, PanelsTileTheClientArea) {
  std::vector<QFrame*> panels = {Window->pTop, Window->p1, Window->p2,
                                 Window->p3,   Window->p4, Window->pBottom};
  int top = 0;
  for (QFrame* panel : panels) {
    EXPECT_EQ(panel->y(), top) << panel->objectName().toStdString();
    EXPECT_EQ(panel->x(), 0);
    EXPECT_EQ(panel->width(), 599);
    EXPECT_EQ(panel->frameShape(), QFrame::Panel);
    EXPECT_EQ(panel->frameShadow(), QFrame::Raised);
    top += panel->height();
  }
  EXPECT_EQ(top, 759);
  EXPECT_EQ(Window->pnl1->frameShape(), QFrame::NoFrame);
}

TEST_F(MainLayoutTest, EveryControlIsLaidOut) {
  for (const TControl& expected : Controls()) {
    SCOPED_TRACE(expected.Name);
    auto* control = Window->findChild<QWidget*>(expected.Name);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(control->inherits(expected.Kind)) << control->metaObject()->className();
    EXPECT_EQ(control->parentWidget()->objectName(), expected.Parent);
    EXPECT_EQ(control->geometry(), expected.Geometry);
    EXPECT_EQ(TextOf(control), expected.Text);
    EXPECT_EQ(control->isEnabled(), expected.Enabled);
  }
}

// The scan button was added to the designed layout: it lies inside its panel and covers no other control.
TEST_F(MainLayoutTest, TheScanButtonCoversNoOtherControl) {
  const QRect scan(Window->shpxScanLine->mapTo(Window, QPoint(0, 0)), Window->shpxScanLine->size());
  EXPECT_TRUE(Window->p2->geometry().contains(scan));
  for (const TControl& control : Controls()) {
    auto* other = Window->findChild<QWidget*>(control.Name);
    ASSERT_NE(other, nullptr) << control.Name;
    if (other == Window->shpxScanLine || other->isAncestorOf(Window->shpxScanLine)) continue;
    const QRect area(other->mapTo(Window, QPoint(0, 0)), other->size());
    EXPECT_FALSE(area.intersects(scan)) << control.Name;
  }
}

TEST_F(MainLayoutTest, MembersPointAtTheNamedControls) {
  const std::vector<std::pair<QObject*, const char*>> members = {
      {Window->pTop, "pTop"},
      {Window->pnl1, "pnl1"},
      {Window->shpx1, "shpx1"},
      {Window->shpxReadValues, "shpxReadValues"},
      {Window->shpxScanLine, "shpxScanLine"},
      {Window->lblCaption, "lblCaption"},
      {Window->img1, "img1"},
      {Window->bvlWhite, "bvlWhite"},
      {Window->cbComPort1, "cbComPort1"},
      {Window->cbbNewSpeed, "cbbNewSpeed"},
      {Window->cbbOldAddress, "cbbOldAddress"},
      {Window->cbOneDeviceOnLine, "cbOneDeviceOnLine"},
      {Window->rbSerialNumber, "rbSerialNumber"},
      {Window->medtSerialNumber, "medtSerialNumber"},
      {Window->mLog, "mLog"},
      {Window->pm1, "pm1"},
      {Window->Vypalitsriovslo1, "Vypalitsriovslo1"},
      {Window->AfComPort1, "AfComPort1"},
      {Window->shpxclrschm1, "shpxclrschm1"},
      {Window->l9, "l9"}};
  for (const auto& [member, name] : members) {
    ASSERT_NE(member, nullptr) << name;
    EXPECT_EQ(member->objectName(), name);
    EXPECT_EQ(Window->findChild<QObject*>(name), member) << name;
  }
}

TEST_F(MainLayoutTest, FontsAndColoursOfTheLabels) {
  struct TFont {
    QLabel* Label;
    int PixelSize;
    QColor Color;
  };
  const QColor navy(0x00, 0x00, 0x80), maroon(0x80, 0x00, 0x00);
  const std::vector<TFont> fonts = {{Window->lblCaption, 27, Qt::white},
                                    {Window->l1, 32, navy},
                                    {Window->lbl1point, 16, navy},
                                    {Window->l2, 32, maroon},
                                    {Window->lbl2Point, 16, maroon},
                                    {Window->l4, 32, maroon},
                                    {Window->lbl3point, 16, maroon},
                                    {Window->l9, 16, QColor(0x00, 0x80, 0x00)},
                                    {Window->lblChoseSerialPort, 13, Qt::black}};
  for (const TFont& font : fonts) {
    SCOPED_TRACE(font.Label->objectName().toStdString());
    EXPECT_EQ(font.Label->font().family(), "Arial");
    EXPECT_EQ(font.Label->font().pixelSize(), font.PixelSize);
    EXPECT_FALSE(font.Label->font().bold());
    EXPECT_EQ(font.Label->palette().color(QPalette::Active, QPalette::WindowText), font.Color);
  }
  EXPECT_EQ(Window->l9->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(MainLayoutTest, ShapeButtonsShareTheScheme) {
  for (TShapeEx* button : {Window->shpxOpenClose, Window->shpxGetAdrorSn, Window->shpxUpdate,
                           Window->shpxReadValues, Window->shpxCloseApp}) {
    SCOPED_TRACE(button->objectName().toStdString());
    EXPECT_EQ(button->Shape(), stRoundRect);
    EXPECT_EQ(button->RoundCorner(), 10);
    EXPECT_EQ(button->ColorSchema(), Window->shpxclrschm1);
    EXPECT_EQ(button->font().pixelSize(), 16);
    EXPECT_FALSE(button->Down() || button->AllowDown() || button->AllowUp());
    EXPECT_EQ(button->Group(), 0);
  }
  const TShapeExColorSchema* scheme = Window->shpxclrschm1;
  EXPECT_EQ(scheme->DefaultBrushColor(), QColor(Qt::white));
  EXPECT_EQ(scheme->OnMouseBrushColor(), QColor(0xA2, 0xD6, 0xB7));
  EXPECT_EQ(scheme->OnMouseBorderColor(), QColor(0x00, 0x8F, 0x3B));
  EXPECT_EQ(scheme->DownBrushColor(), QColor(0x00, 0x8F, 0x3B));
  EXPECT_EQ(scheme->DownBorderColor(), QColor(0xA2, 0xD6, 0xB7));
  EXPECT_EQ(scheme->DisabledBrushColor(), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(scheme->DisabledBorderColor(), QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(scheme->DisabledFontColor(), QColor(Qt::black));
}

// The band keeps its orange fill on the green panel; a clear pen leaves the last column to the panel.
TEST_F(MainLayoutTest, TitleBandIsOrangeOnGreen) {
  EXPECT_EQ(Window->shpx1->Shape(), stRectangle);
  EXPECT_EQ(Window->shpx1->ColorSchema(), nullptr);
  EXPECT_EQ(Window->shpx1->Pen().style(), Qt::NoPen);
  const QImage image = Grab(Window);
  EXPECT_EQ(PixelAt(image, 300, 5), QColor(0xF8, 0x73, 0x11));
  EXPECT_EQ(PixelAt(image, 597, 30), QColor(0x3B, 0x8F, 0x00));
  EXPECT_EQ(PixelAt(image, 5, 450), QColor(0xEC, 0xF1, 0xE3));  // p3
  EXPECT_EQ(PixelAt(image, 5, 100), QColor(0xF0, 0xF0, 0xF0));  // p1
  EXPECT_EQ(PixelAt(image, 0, 100), QColor(0xFF, 0xFF, 0xFF));  // raised bevel, light side
  EXPECT_EQ(PixelAt(image, 598, 100), QColor(0xA0, 0xA0, 0xA0));
}

TEST_F(MainLayoutTest, ListsCarryTheirItems) {
  const QStringList speeds = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
  for (QComboBox* combo : {Window->cbbOldSpeed, Window->cbbNewSpeed}) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
      items << combo->itemText(i);
    EXPECT_EQ(items, speeds);
    EXPECT_EQ(combo->currentIndex(), 3);
    QStyleOptionViewItem option;
    EXPECT_EQ(combo->itemDelegate()->sizeHint(option, combo->model()->index(0, 0)).height(), 16);
  }
  EXPECT_EQ(Window->cbbOldAddress->count(), 62);
  EXPECT_EQ(Window->cbbOldAddress->currentIndex(), 10);
  EXPECT_EQ(Window->cbbOldAddress->maxVisibleItems(), 20);
  EXPECT_EQ(Window->cbbOldAddress->ItemHeight(), 16);
  EXPECT_EQ(Window->cbbOldAddress->MeasureItem(254), 32);
  EXPECT_EQ(Window->cbbNewAddress->MeasureItem(254), 16);
  EXPECT_TRUE(Window->cbbNewAddress->OnDrawItem != nullptr);
  EXPECT_FALSE(Window->cbOneDeviceOnLine->isChecked());
  EXPECT_TRUE(Window->rbByOldADR->isChecked());
  EXPECT_FALSE(Window->rbSerialNumber->isChecked());
}

TEST_F(MainLayoutTest, TabOrderFollowsThePanels) {
  const std::vector<QWidget*> expected = {
      Window->cbComPort1,     Window->cbbOldSpeed,    Window->cbOneDeviceOnLine, Window->shpxOpenClose,
      Window->rbByOldADR,     Window->rbSerialNumber, Window->cbbOldAddress,     Window->medtSerialNumber,
      Window->shpxGetAdrorSn, Window->shpxScanLine,   Window->cbbNewAddress,     Window->cbbNewSpeed,
      Window->shpxUpdate,     Window->mLog,           Window->shpxReadValues,    Window->shpxCloseApp};
  std::vector<QWidget*> chain;
  QWidget* widget = Window->cbComPort1;
  do {
    if (std::find(expected.begin(), expected.end(), widget) != expected.end()) chain.push_back(widget);
    widget = widget->nextInFocusChain();
  } while (widget != Window->cbComPort1 && chain.size() < expected.size());
  EXPECT_EQ(chain, expected);
  for (TShapeEx* button : {Window->shpxOpenClose, Window->shpxCloseApp})
    EXPECT_EQ(button->focusPolicy(), Qt::StrongFocus);
  EXPECT_EQ(Window->shpx1->focusPolicy(), Qt::NoFocus) << "the title band is no button";
  EXPECT_TRUE(Window->mLog->tabChangesFocus()) << "Tab leaves the log";
}

TEST_F(MainLayoutTest, SerialNumberFieldHasItsMaskAndMenu) {
  QLineEdit* field = Window->medtSerialNumber;
  EXPECT_EQ(field->inputMask(), "9999\\\\9999;_");
  EXPECT_EQ(field->displayText(), "____\\____");
  EXPECT_EQ(field->contextMenuPolicy(), Qt::CustomContextMenu);
  ASSERT_EQ(Window->pm1->actions().size(), 1);
  EXPECT_EQ(Window->pm1->actions().front(), Window->Vypalitsriovslo1);
  EXPECT_EQ(Window->Vypalitsriovslo1->text(), "Vypalit sériové číslo");
  field->setEnabled(true);
  field->setText(QStringLiteral("12a34\\5678"));
  EXPECT_EQ(field->displayText(), "1234\\5678");
  field->clear();
  field->setEnabled(false);
}

TEST_F(MainLayoutTest, PortComponentBelongsToTheWindow) {
  EXPECT_EQ(Window->AfComPort1->parent(), Window);
  EXPECT_EQ(Window->AfComPort1->BaudRate(), br9600);
  EXPECT_EQ(Window->AfComPort1->ComNumber(), 0);
  EXPECT_FALSE(Window->AfComPort1->Active());
  EXPECT_EQ(Window->cbComPort1->ComPort(), Window->AfComPort1);
  EXPECT_EQ(Window->cbComPort1->MaxComPorts(), 255);
  EXPECT_EQ(Window->cbComPort1->Options(), PortCtlOption(pcCheckExist));
  EXPECT_EQ(Window->cbComPort1->SelectedPort(), 0);
}

// The picture: a 169 x 60 baseline JFIF 1.02 file at 100 dpi with three components.
TEST_F(MainLayoutTest, LabelPictureIsABaselineJpeg) {
  const QByteArrayView jpeg = LabelExampleJpeg();
  ASSERT_GT(jpeg.size(), 200);
  const auto byte = [&](qsizetype At) { return static_cast<unsigned char>(jpeg[At]); };
  EXPECT_EQ(byte(0), 0xFF);
  EXPECT_EQ(byte(1), 0xD8);
  EXPECT_EQ(jpeg.sliced(6, 5), QByteArrayView("JFIF\0", 5));
  EXPECT_EQ(byte(11), 1);
  EXPECT_EQ(byte(12), 2);
  EXPECT_EQ(byte(13), 1);  // dots per inch
  EXPECT_EQ(byte(14) << 8 | byte(15), 100);
  EXPECT_EQ(byte(16) << 8 | byte(17), 100);
  const QByteArray bytes = jpeg.toByteArray();
  const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
  ASSERT_GT(sof, 0) << "baseline frame";
  EXPECT_EQ(bytes.indexOf(QByteArray("\xFF\xC2", 2)), -1) << "not progressive";
  EXPECT_EQ(byte(sof + 5) << 8 | byte(sof + 6), 60);
  EXPECT_EQ(byte(sof + 7) << 8 | byte(sof + 8), 169);
  EXPECT_EQ(byte(sof + 9), 3);

  const QImage picture = DecodeJpeg(jpeg);
  ASSERT_EQ(picture.size(), QSize(169, 60));
  EXPECT_GT(qGray(picture.pixel(5, 30)), 230) << "a white label";
}

TEST_F(MainLayoutTest, LabelPictureIsCentredAndClipped) {
  const QImage picture = DecodeJpeg(LabelExampleJpeg()).convertToFormat(QImage::Format_RGB32);
  const QImage shown = Grab(Window->img1);
  ASSERT_EQ(shown.size(), QSize(159, 58));
  EXPECT_EQ(shown, picture.copy(5, 1, 159, 58));
}

class LabelPictureTest : public testing::Test {
 protected:
  QByteArray Asset() const { return LabelExampleJpeg().toByteArray(); }
};

TEST_F(LabelPictureTest, DamagedDataGivesNoPicture) {
  const QByteArray good = Asset();
  EXPECT_TRUE(DecodeJpeg({}).isNull());
  EXPECT_TRUE(DecodeJpeg(QByteArrayView("not a picture at all")).isNull());
  EXPECT_TRUE(DecodeJpeg(good.left(good.size() / 2)).isNull()) << "truncated";
  EXPECT_TRUE(DecodeJpeg(good.left(20)).isNull()) << "header only";
  QByteArray scrambled = good;
  for (qsizetype i = good.size() / 3; i < good.size() - 2; i += 7)
    scrambled[i] = static_cast<char>(0xFF);
  EXPECT_TRUE(DecodeJpeg(scrambled).isNull());
}

TEST_F(LabelPictureTest, OversizedFrameIsRefused) {
  QByteArray huge = Asset();
  const qsizetype sof = huge.indexOf(QByteArray("\xFF\xC0", 2));
  ASSERT_GT(sof, 0);
  huge[sof + 5] = static_cast<char>(0xEA);
  huge[sof + 6] = 0x60;  // 60000 lines
  huge[sof + 7] = static_cast<char>(0xEA);
  huge[sof + 8] = 0x60;
  EXPECT_TRUE(DecodeJpeg(huge).isNull());
}

TEST_F(LabelPictureTest, CorruptPictureLeavesTheWindowUsable) {
  TfMainLayout window;
  EXPECT_FALSE(ShowLabelPicture(window.img1, QByteArrayView("\xFF\xD8\xFF\xE0 broken")));
  EXPECT_TRUE(window.img1->pixmap().isNull());
  window.show();
  EXPECT_TRUE(window.isVisible());
  const QImage shown = Grab(window.img1);
  EXPECT_EQ(shown.size(), QSize(159, 58));
  EXPECT_TRUE(ShowLabelPicture(window.img1, LabelExampleJpeg()));
  EXPECT_FALSE(window.img1->pixmap().isNull());
}

}  // namespace
}  // namespace tarnel
