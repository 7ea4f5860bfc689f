#include "ui/ShapeEx.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QTest>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Pixels.h"

namespace tarnel {
namespace {

using test::CountColor;
using test::CountText;
using test::Grab;
using test::PixelAt;

const QColor kParentColor(0x12, 0x34, 0x56);
const QColor kOnMouseFill(0xA2, 0xD6, 0xB7);
const QColor kOnMouseBorder(0x00, 0x8F, 0x3B);
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kGrey(0x80, 0x80, 0x80);

void SendEnter(QWidget* Widget) {
  QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QCoreApplication::sendEvent(Widget, &event);
}

void SendLeave(QWidget* Widget) {
  QEvent event(QEvent::Leave);
  QCoreApplication::sendEvent(Widget, &event);
}

void SendMouse(QWidget* Widget, QEvent::Type Type, QPoint At) {
  const Qt::MouseButtons buttons = Type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
  QMouseEvent event(Type, QPointF(At), Widget->mapToGlobal(QPointF(At)), Qt::LeftButton, buttons,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(Widget, &event);
}

void Click(QWidget* Widget, QPoint Release = QPoint(10, 10)) {
  SendMouse(Widget, QEvent::MouseButtonPress, QPoint(10, 10));
  SendMouse(Widget, QEvent::MouseButtonRelease, Release);
}

// A parent in a colour no button uses, so every pixel the shape leaves alone is recognisable.
class ShapeExTest : public testing::Test {
 protected:
  void SetUp() override {
    Parent = std::make_unique<QWidget>();
    Parent->resize(640, 200);
    QPalette palette;
    palette.setColor(QPalette::Window, kParentColor);
    Parent->setPalette(palette);
    Parent->setAutoFillBackground(true);
    // The window's scheme: white, pointer over green, disabled silver.
    Scheme = new TShapeExColorSchema(Parent.get());
    Scheme->SetDefaultBrushColor(Qt::white);
    Scheme->SetDefaultFontColor(Qt::black);
    Scheme->SetDefaultBorderColor(Qt::black);
    Scheme->SetOnMouseBrushColor(kOnMouseFill);
    Scheme->SetOnMouseFontColor(Qt::black);
    Scheme->SetOnMouseBorderColor(kOnMouseBorder);
    Scheme->SetDownBrushColor(kOnMouseBorder);
    Scheme->SetDownFontColor(Qt::black);
    Scheme->SetDownBorderColor(kOnMouseFill);
    Scheme->SetDisabledBrushColor(kSilver);
    Scheme->SetDisabledFontColor(Qt::black);
    Scheme->SetDisabledBorderColor(kGrey);
  }

  TShapeEx* MakeButton(int Width, int Height, TShapeType Shape = stRoundRect) {
    auto* button = new TShapeEx(Parent.get());
    button->setGeometry(0, 0, Width, Height);
    button->SetShape(Shape);
    button->SetRoundCorner(10);
    return button;
  }

  std::unique_ptr<QWidget> Parent;
  TShapeExColorSchema* Scheme = nullptr;
};

// Fill sampled left of centre (the middle holds the caption), border on the left edge's middle.
struct TLook {
  QColor Fill, Border;
};
TLook LookOf(TShapeEx* Button) {
  const QImage image = Grab(Button);
  return {PixelAt(image, 6, image.height() / 2), PixelAt(image, 0, image.height() / 2)};
}

TEST_F(ShapeExTest, SchemeColoursFollowThePointer) {
  TShapeEx* button = MakeButton(153, 49);
  button->SetColorSchema(Scheme);
  button->SetCaption(QStringLiteral("Open port"));
  EXPECT_EQ(LookOf(button).Fill, QColor(Qt::white));
  EXPECT_EQ(LookOf(button).Border, QColor(Qt::black));

  SendEnter(button);
  EXPECT_TRUE(button->MouseOver());
  EXPECT_EQ(LookOf(button).Fill, kOnMouseFill);
  EXPECT_EQ(LookOf(button).Border, kOnMouseBorder);

  SendLeave(button);
  EXPECT_EQ(LookOf(button).Fill, QColor(Qt::white));
}

TEST_F(ShapeExTest, DisabledColoursWinOverThePointer) {
  TShapeEx* button = MakeButton(153, 49);
  button->SetColorSchema(Scheme);
  button->setEnabled(false);
  EXPECT_EQ(LookOf(button).Fill, kSilver);
  EXPECT_EQ(LookOf(button).Border, kGrey);
  SendEnter(button);
  EXPECT_EQ(LookOf(button).Fill, kSilver);
  EXPECT_EQ(LookOf(button).Border, kGrey);
  button->setProperty("enabled", true);
  EXPECT_EQ(LookOf(button).Fill, kOnMouseFill);
}

TEST_F(ShapeExTest, CaptionUsesTheSchemeFontColourOnTheFill) {
  TShapeEx* button = MakeButton(153, 49);
  button->SetColorSchema(Scheme);
  Scheme->SetDefaultFontColor(QColor(0xFF, 0x00, 0x00));
  button->SetFontColor(Qt::blue);
  button->SetCaption(QStringLiteral("IIII"));
  const QImage image = Grab(button);
  EXPECT_GT(CountText(image, image.rect(), Qt::white, QColor(0xFF, 0x00, 0x00)), 10);
  EXPECT_EQ(CountText(image, image.rect(), Qt::white, QColor(Qt::blue)), 0);
  EXPECT_EQ(button->FontColor(), QColor(0xFF, 0x00, 0x00));
}

TEST_F(ShapeExTest, WithoutSchemeOwnColoursAndNoPointerEffect) {
  TShapeEx* button = MakeButton(153, 49);
  button->SetBrushColor(QColor(0xF8, 0x73, 0x11));
  button->SetPenColor(QColor(0x00, 0x00, 0xFF));
  button->SetFontColor(QColor(0x00, 0xFF, 0x00));
  button->SetCaption(QStringLiteral("IIII"));
  SendEnter(button);
  const QImage image = Grab(button);
  EXPECT_EQ(PixelAt(image, 6, 24), QColor(0xF8, 0x73, 0x11));
  EXPECT_EQ(PixelAt(image, 0, 24), QColor(0x00, 0x00, 0xFF));
  EXPECT_GT(CountText(image, image.rect(), QColor(0xF8, 0x73, 0x11), QColor(0x00, 0xFF, 0x00)), 10);
}

TEST_F(ShapeExTest, SchemeFreedFirstLeavesTheButtonItsOwnColours) {
  TShapeEx* button = MakeButton(153, 49);
  button->SetBrushColor(QColor(0x11, 0x22, 0x33));
  auto* scheme = new TShapeExColorSchema();
  scheme->SetDefaultBrushColor(Qt::white);
  button->SetColorSchema(scheme);
  EXPECT_EQ(LookOf(button).Fill, QColor(Qt::white));
  delete scheme;
  EXPECT_EQ(button->ColorSchema(), nullptr);
  button->SetBrushColor(QColor(0x11, 0x22, 0x33));
  EXPECT_EQ(LookOf(button).Fill, QColor(0x11, 0x22, 0x33));
}

// Rectangles make the edge geometry visible without corner rounding.
TEST_F(ShapeExTest, PenWidthOneCoversTheWholeControl) {
  TShapeEx* button = MakeButton(153, 49, stRectangle);
  button->SetBrushColor(Qt::white);
  const QImage image = Grab(button);
  for (int y : {0, 48})
    EXPECT_EQ(PixelAt(image, 76, y), QColor(Qt::black)) << y;
  for (int x : {0, 152})
    EXPECT_EQ(PixelAt(image, x, 24), QColor(Qt::black)) << x;
  EXPECT_EQ(PixelAt(image, 1, 1), QColor(Qt::white));
  EXPECT_EQ(PixelAt(image, 151, 47), QColor(Qt::white));
}

TEST_F(ShapeExTest, PenWidthZeroGivesTheSameBox) {
  TShapeEx* button = MakeButton(153, 49, stRectangle);
  QPen pen(Qt::black);
  pen.setWidth(0);
  button->SetPen(pen);
  const QImage image = Grab(button);
  EXPECT_EQ(PixelAt(image, 0, 24), QColor(Qt::black));
  EXPECT_EQ(PixelAt(image, 152, 24), QColor(Qt::black));
  EXPECT_EQ(PixelAt(image, 76, 48), QColor(Qt::black));
  EXPECT_EQ(PixelAt(image, 1, 24), QColor(Qt::white));
}

TEST_F(ShapeExTest, WidePenStaysInsideTheControl) {
  TShapeEx* button = MakeButton(60, 40, stRectangle);
  button->SetPen(QPen(QBrush(Qt::black), 3));
  const QImage image = Grab(button);
  for (int x : {0, 1, 2, 57, 58, 59})
    EXPECT_EQ(PixelAt(image, x, 20), QColor(Qt::black)) << x;
  for (int x : {3, 56})
    EXPECT_EQ(PixelAt(image, x, 20), QColor(Qt::white)) << x;
  for (int y : {0, 2, 37, 39})
    EXPECT_EQ(PixelAt(image, 30, y), QColor(Qt::black)) << y;
}

TEST_F(ShapeExTest, ClearPenFillStopsOnePixelShort) {
  TShapeEx* button = MakeButton(597, 56, stRectangle);
  button->setAutoFillBackground(false);
  button->SetBrushColor(QColor(0xF8, 0x73, 0x11));
  QPen pen(Qt::black);
  pen.setStyle(Qt::NoPen);
  button->SetPen(pen);
  const QImage image = Grab(button);
  EXPECT_EQ(PixelAt(image, 0, 0), QColor(0xF8, 0x73, 0x11));
  EXPECT_EQ(PixelAt(image, 595, 54), QColor(0xF8, 0x73, 0x11));
  EXPECT_EQ(PixelAt(image, 596, 20), kParentColor);
  EXPECT_EQ(PixelAt(image, 20, 55), kParentColor);
}

TEST_F(ShapeExTest, SquareAndCircleAreCentred) {
  TShapeEx* square = MakeButton(100, 60, stSquare);
  QImage image = Grab(square);
  // S = 60, so the square spans columns 20 .. 79.
  EXPECT_EQ(PixelAt(image, 19, 30), kParentColor);
  EXPECT_EQ(PixelAt(image, 20, 30), QColor(Qt::black));
  EXPECT_EQ(PixelAt(image, 79, 30), QColor(Qt::black));
  EXPECT_EQ(PixelAt(image, 80, 30), kParentColor);

  TShapeEx* circle = MakeButton(100, 60, stCircle);
  image = Grab(circle);
  EXPECT_EQ(PixelAt(image, 50, 30), QColor(Qt::white));
  EXPECT_EQ(PixelAt(image, 21, 2), kParentColor);  // outside the circle, inside the square
  EXPECT_EQ(PixelAt(image, 10, 30), kParentColor);
}

TEST_F(ShapeExTest, RoundCornersLeaveTheCornerPixelsToTheParent) {
  TShapeEx* button = MakeButton(153, 49);
  const QImage image = Grab(button);
  EXPECT_EQ(PixelAt(image, 0, 0), kParentColor);
  EXPECT_EQ(PixelAt(image, 152, 48), kParentColor);
  EXPECT_EQ(PixelAt(image, 76, 0), QColor(Qt::black));
  button->SetRoundCorner(0);
  EXPECT_EQ(PixelAt(Grab(button), 0, 0), QColor(Qt::black));
}

TEST_F(ShapeExTest, CaptionWiderThanTheButtonStaysCentred) {
  const QString caption = QStringLiteral("WMWMWMWMWMWMWM");
  TShapeEx* wide = MakeButton(400, 40, stRectangle);
  TShapeEx* narrow = MakeButton(40, 40, stRectangle);
  for (TShapeEx* button : {wide, narrow}) {
    button->SetPenColor(Qt::white);
    button->SetCaption(caption);
  }
  const QImage wideImage = Grab(wide);
  const QImage narrowImage = Grab(narrow);
  int ink = 0;
  for (int x = 0; x < 40; ++x) {
    for (int y = 5; y < 35; ++y) {
      ASSERT_EQ(narrowImage.pixel(x, y), wideImage.pixel(x + 180, y)) << x << "," << y;
      if (narrowImage.pixel(x, y) != QColor(Qt::white).rgb()) ++ink;
    }
  }
  EXPECT_GT(ink, 50);
}

TEST_F(ShapeExTest, RoundingOfTextPositionsIsHalfToEven) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.49), 2);
  EXPECT_EQ(RoundHalfEven(-2.51), -3);
}

TEST_F(ShapeExTest, EmptyCaptionKeepsFollowingTheParentFont) {
  TShapeEx* plain = MakeButton(50, 30);
  TShapeEx* captioned = MakeButton(50, 30);
  captioned->SetCaption(QStringLiteral("x"));
  Grab(plain);
  Grab(captioned);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(21);
  Parent->setFont(font);
  EXPECT_EQ(plain->font().pixelSize(), 21);
  EXPECT_NE(captioned->font().pixelSize(), 21);
}

class ShapeExClickTest : public ShapeExTest {
 protected:
  void SetUp() override {
    ShapeExTest::SetUp();
    Button = MakeButton(100, 40);
    Button->onClick = [this](QObject* Sender) {
      EXPECT_EQ(Sender, Button);
      DownSeen.push_back(Button->Down());
    };
  }
  TShapeEx* Button = nullptr;
  std::vector<bool> DownSeen;
};

TEST_F(ShapeExClickTest, ClicksNeverChangeDownWhenNotAllowed) {
  Click(Button);
  EXPECT_FALSE(Button->Down());
  Button->SetDown(true);
  Click(Button);
  EXPECT_TRUE(Button->Down());
  EXPECT_EQ(DownSeen, (std::vector<bool>{false, true}));
}

TEST_F(ShapeExClickTest, ClickFiresBeforeTheDownToggle) {
  Button->SetAllowDown(true);
  Button->SetAllowUp(true);
  Click(Button);
  EXPECT_TRUE(Button->Down());
  Click(Button);
  EXPECT_FALSE(Button->Down());
  EXPECT_EQ(DownSeen, (std::vector<bool>{false, true}));
}

TEST_F(ShapeExClickTest, ReleaseOutsideIsNoClick) {
  Button->SetAllowDown(true);
  Click(Button, QPoint(150, 10));
  EXPECT_TRUE(DownSeen.empty());
  EXPECT_TRUE(Button->Down());  // the release still toggles
}

TEST_F(ShapeExClickTest, DisabledButtonIgnoresClicks) {
  Button->setEnabled(false);
  Click(Button);
  EXPECT_TRUE(DownSeen.empty());
}

TEST_F(ShapeExTest, DownReleasesTheOthersOfItsGroupUnderOneParent) {
  std::vector<TShapeEx*> group;
  for (int i = 0; i < 3; ++i) {
    group.push_back(MakeButton(40, 20));
    group.back()->SetGroup(1);
  }
  QWidget elsewhere;
  auto* stranger = new TShapeEx(&elsewhere);
  stranger->SetGroup(1);
  stranger->SetDown(true);
  TShapeEx* ungrouped = MakeButton(40, 20);
  ungrouped->SetDown(true);

  group[0]->SetDown(true);
  group[1]->SetDown(true);
  EXPECT_FALSE(group[0]->Down());
  EXPECT_TRUE(group[1]->Down());
  group[2]->SetDown(true);
  EXPECT_FALSE(group[1]->Down());
  EXPECT_TRUE(group[2]->Down());
  EXPECT_TRUE(stranger->Down());
  EXPECT_TRUE(ungrouped->Down());
}

TEST_F(ShapeExTest, GroupZeroChangesNothingElse) {
  TShapeEx* a = MakeButton(40, 20);
  TShapeEx* b = MakeButton(40, 20);
  a->SetDown(true);
  b->SetDown(true);
  EXPECT_TRUE(a->Down());
  EXPECT_TRUE(b->Down());
}

TEST_F(ShapeExTest, DownStateUsesTheDownColours) {
  TShapeEx* button = MakeButton(153, 49);
  button->SetColorSchema(Scheme);
  button->SetDown(true);
  EXPECT_EQ(LookOf(button).Fill, QColor(Qt::white));  // AllowDown false: not painted down
  button->SetAllowDown(true);
  button->update();
  EXPECT_EQ(LookOf(button).Fill, kOnMouseBorder);
  EXPECT_EQ(LookOf(button).Border, kOnMouseFill);
}

// Keys reach a button with the focus, which needs a shown, active window. The focus mark is dotted, inside
// the border; Space clicks when it comes up, unless the focus left in between.
TEST_F(ShapeExClickTest, FocusShowsADottedMarkAndSpaceAndEnterClickOnceEach) {
  Parent->show();
  Parent->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Parent.get()));
  const QRect markTop(3, 3, 94, 1);
  Button->clearFocus();  // the window gave it the focus, being its only control
  EXPECT_EQ(CountColor(Grab(Button), markTop, Qt::black), 0);
  Button->setFocus();
  const int dots = CountColor(Grab(Button), markTop, Qt::black);
  EXPECT_TRUE(dots > 94 / 3 && dots < 94 * 2 / 3) << dots;
  EXPECT_EQ(PixelAt(Grab(Button), 1, 20), QColor(Qt::white));

  for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter})
    QTest::keyClick(Button, key);
  QTest::keyPress(Button, Qt::Key_Space);
  Button->clearFocus();
  QTest::keyRelease(Button, Qt::Key_Space);
  EXPECT_EQ(DownSeen.size(), 3u);
  Button->setEnabled(false);
  QTest::keyClick(Button, Qt::Key_Return);
  EXPECT_EQ(DownSeen.size(), 3u);
}

}  // namespace
}  // namespace tarnel
