#include "ui/AddressItem.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QStyleOptionViewItem>
#include <cstdlib>

#include <gtest/gtest.h>

#include "Pixels.h"

namespace tarnel {
namespace {

using test::CountColor;
using test::CountInk;
using test::CountText;

const QColor kBackground(Qt::white);
const QColor kHighlight(0x00, 0x78, 0xD7);
const QColor kNavy(0x00, 0x00, 0x80), kGreen(0x00, 0x80, 0x00), kMaroon(0x80, 0x00, 0x00);
const QColor kWhite(0xFF, 0xFF, 0xFF), kCyan(0x00, 0xFF, 0xFF), kYellow(0xFF, 0xFF, 0x00);
const QColor kGrey(0x80, 0x80, 0x80);
constexpr int kItemHeight = 16;
constexpr int kWidth = 160;

int Width(int PixelSize, const QString& Text) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(PixelSize);
  return QFontMetrics(font).horizontalAdvance(Text);
}

// The three fields' columns: captions at 7 pt (9 px), values at 9 pt (12 px).
struct TColumns {
  int AsciiStart, DecStart, HexStart;
};
TColumns Columns() {
  const int ascii = 3;
  const int dec = ascii + Width(9, "ascii:") + 2 + Width(12, "W") + 4;
  const int hex = dec + Width(9, "dec:") + 2 + Width(12, "999") + 4;
  return {ascii, dec, hex};
}

QColor Background(TOwnerDrawState State) {
  return (State & OwnerDraw(odSelected)) ? kHighlight : kBackground;
}

QImage DrawRow(int Index, int Height, TOwnerDrawState State) {
  QImage image(kWidth, Height, QImage::Format_RGB32);
  image.fill(Qt::magenta);
  QPainter canvas(&image);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(13);
  canvas.setFont(font);
  canvas.setBrush((State & OwnerDraw(odSelected)) ? kHighlight : kBackground);
  cbbOldAddressDrawItem(&canvas, Index, QRect(0, 0, kWidth, Height), State, kItemHeight);
  return image;
}

class AddressItemTest : public testing::Test {
 protected:
  QRect AsciiField(int Height = kItemHeight) const { return {0, 0, Cols.DecStart, Height}; }
  QRect DecField(int Height = kItemHeight) const {
    return {Cols.DecStart, 0, Cols.HexStart - Cols.DecStart, Height};
  }
  QRect HexField(int Height = kItemHeight) const {
    return {Cols.HexStart, 0, kWidth - Cols.HexStart, Height};
  }
  TColumns Cols = Columns();
};

TEST_F(AddressItemTest, LetterShowsAllThreeFieldsInTheirColours) {
  const QImage row = DrawRow(65, kItemHeight, 0);
  EXPECT_EQ(CountColor(row, row.rect(), Qt::magenta), 0) << "the whole rectangle is filled";
  EXPECT_GT(CountText(row, AsciiField(), kBackground, kNavy), 5);
  EXPECT_GT(CountText(row, DecField(), kBackground, kGreen), 5);
  EXPECT_GT(CountText(row, HexField(), kBackground, kMaroon), 5);
  EXPECT_EQ(CountText(row, DecField(), kBackground, kNavy) + CountText(row, HexField(), kBackground, kNavy),
            0);
  EXPECT_EQ(
      CountText(row, AsciiField(), kBackground, kGreen) + CountText(row, HexField(), kBackground, kGreen), 0);
  EXPECT_EQ(CountText(row, row.rect(), kBackground, kGrey), 0);
}

TEST_F(AddressItemTest, SelectedLetterUsesTheLightColoursOnTheHighlight) {
  const QImage row = DrawRow(65, kItemHeight, OwnerDraw(odSelected));
  EXPECT_GT(CountColor(row, row.rect(), kHighlight), kWidth * kItemHeight / 2);
  EXPECT_GT(CountText(row, AsciiField(), kHighlight, kWhite), 5);
  EXPECT_GT(CountText(row, DecField(), kHighlight, kCyan), 5);
  EXPECT_GT(CountText(row, HexField(), kHighlight, kYellow), 5);
  EXPECT_EQ(CountText(row, row.rect(), kBackground, kNavy) + CountText(row, row.rect(), kBackground, kGreen),
            0);
}

TEST_F(AddressItemTest, SpaceAndZeroLeaveTheAsciiFieldEmptyButKeepItsWidth) {
  for (int index : {0, 32}) {
    const QImage row = DrawRow(index, kItemHeight, 0);
    EXPECT_EQ(CountInk(row, AsciiField(), kBackground), 0) << index;
    EXPECT_GT(CountText(row, DecField(), kBackground, kGreen), 5) << index;
    EXPECT_GT(CountText(row, HexField(), kBackground, kMaroon), 5) << index;
  }
}

TEST_F(AddressItemTest, SignsAndHighCodesAreGreyInEitherState) {
  for (int index : {35, 200}) {
    for (TOwnerDrawState state : {TOwnerDrawState{0}, OwnerDraw(odSelected)}) {
      const QImage row = DrawRow(index, kItemHeight, state);
      EXPECT_GT(CountText(row, AsciiField(), Background(state), kGrey), 3) << index;
      const QColor normal = state ? kWhite : kNavy;
      EXPECT_EQ(CountText(row, AsciiField(), Background(state), normal), 0) << index;
    }
  }
}

// Every row puts its decimal and hexadecimal captions in the same columns, whatever the value.
TEST_F(AddressItemTest, FieldsLineUpInColumns) {
  auto firstColumn = [](const QImage& Row, const QColor& Color) {
    for (int x = 0; x < Row.width(); ++x)
      if (CountText(Row, QRect(x, 0, 1, Row.height()), kBackground, Color) > 0) return x;
    return -1;
  };
  const QImage one = DrawRow(1, kItemHeight, 0);
  for (int index : {65, 200, 253}) {
    const QImage row = DrawRow(index, kItemHeight, 0);
    EXPECT_EQ(firstColumn(row, kGreen), firstColumn(one, kGreen)) << index;
    EXPECT_EQ(firstColumn(row, kMaroon), firstColumn(one, kMaroon)) << index;
  }
  EXPECT_GE(firstColumn(one, kGreen), Cols.DecStart);
  EXPECT_LE(firstColumn(one, kGreen), Cols.DecStart + 1);
}

TEST_F(AddressItemTest, UniversalAddressGetsItsSecondLineInATallRow) {
  const QImage row = DrawRow(254, 2 * kItemHeight, 0);
  const QRect upper(0, 0, kWidth, kItemHeight);
  const QRect lower(0, kItemHeight, kWidth, kItemHeight);
  EXPECT_GT(CountText(row, lower, kBackground, Qt::black), 20);
  EXPECT_EQ(CountText(row, upper, kBackground, Qt::black), 0);
  EXPECT_GT(CountText(row, upper, kBackground, kGreen), 5);
  // The line ends 3 pixels above the bottom: the last rows stay empty.
  EXPECT_EQ(CountInk(row, QRect(0, 2 * kItemHeight - 2, kWidth, 2), kBackground), 0);
}

TEST_F(AddressItemTest, SpecialAddressHasItsOwnSecondLine) {
  const QImage universal = DrawRow(254, 2 * kItemHeight, 0);
  const QImage special = DrawRow(255, 2 * kItemHeight, 0);
  const QRect lower(0, kItemHeight, kWidth, kItemHeight);
  EXPECT_GT(CountText(special, lower, kBackground, Qt::black), 20);
  EXPECT_NE(CountText(special, lower, kBackground, Qt::black),
            CountText(universal, lower, kBackground, Qt::black));
}

TEST_F(AddressItemTest, NoSecondLineInAStandardRow) {
  for (int index : {253, 254}) {
    const QImage row = DrawRow(index, kItemHeight, 0);
    EXPECT_EQ(CountText(row, row.rect(), kBackground, Qt::black), 0) << index;
    EXPECT_GT(CountText(row, DecField(), kBackground, kGreen), 5) << index;
  }
  const QImage tall253 = DrawRow(253, 2 * kItemHeight, 0);
  EXPECT_EQ(CountText(tall253, tall253.rect(), kBackground, Qt::black), 0);
}

// A list may ask for a row before it has a canvas: the call returns quietly instead of ending the program.
TEST_F(AddressItemTest, NullCanvasDrawsNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child starts afresh, not as a fork of Qt's threads
  EXPECT_EXIT(
      {
        cbbOldAddressDrawItem(nullptr, 65, QRect(0, 0, 10, 10), 0, kItemHeight);
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
}

// The current-address list measures its rows; the new-address list keeps the standard height.
class AddressComboTest : public testing::Test {
 protected:
  void SetUp() override {
    for (TAddressComboBox* combo : {&Old, &New}) {
      combo->SetItemHeight(kItemHeight);
      combo->OnDrawItem = cbbOldAddressDrawItem;
      combo->resize(160, 22);
    }
    Old.OnMeasureItem = cbbOldAddressMeasureItem;
    for (int i = 0; i <= 254; ++i) {
      Old.addItem(QString(QChar(i)));
      if (i < 254) New.addItem(QString(QChar(i)));
    }
  }

  int RowHeight(TAddressComboBox& Combo, int Row) {
    QStyleOptionViewItem option;
    return Combo.itemDelegate()->sizeHint(option, Combo.model()->index(Row, 0)).height();
  }

  TAddressComboBox Old, New;
};

TEST_F(AddressComboTest, OnlyTheCurrentAddressListHasADoubleRowFor254) {
  EXPECT_EQ(RowHeight(Old, 253), 16);
  EXPECT_EQ(RowHeight(Old, 254), 32);
  EXPECT_EQ(RowHeight(New, 253), 16);
  EXPECT_EQ(Old.MeasureItem(255), 32);
  EXPECT_EQ(New.MeasureItem(254), 16);
}

TEST_F(AddressComboTest, DroppedRowIsDrawnByTheHandler) {
  QImage image(160, 32, QImage::Format_RGB32);
  image.fill(Qt::magenta);
  {
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 160, 32);
    option.state = QStyle::State_Enabled;
    Old.itemDelegate()->paint(&painter, option, Old.model()->index(254, 0));
  }
  EXPECT_GT(CountText(image, QRect(0, 16, 160, 16), kBackground, Qt::black), 20);
  EXPECT_GT(CountText(image, QRect(0, 0, 160, 16), kBackground, kGreen), 5);
}

TEST_F(AddressComboTest, ClosedBoxShowsTheSelectedAddressWithoutSecondLine) {
  Old.setCurrentIndex(254);
  QImage image = test::Grab(&Old);
  EXPECT_GT(CountText(image, image.rect(), kBackground, kGreen), 5);
  EXPECT_GT(CountText(image, image.rect(), kBackground, kMaroon), 5);
  // The arrow at the right belongs to the style; the edit part ends before it.
  EXPECT_EQ(CountText(image, QRect(0, 0, 130, 22), kBackground, Qt::black), 0);

  Old.setCurrentIndex(65);
  image = test::Grab(&Old);
  EXPECT_GT(CountText(image, image.rect(), kBackground, kNavy), 5);
}

// A classic drop-down list: below the box and at most maxVisibleItems rows high, never a menu of all 255.
TEST_F(AddressComboTest, DroppedListShowsAtMostTheVisibleCount) {
  Old.setMaxVisibleItems(20);
  Old.setCurrentIndex(0);
  Old.show();
  Old.showPopup();
  const int height = Old.view()->window()->height();
  Old.hidePopup();
  EXPECT_GE(height, 20 * kItemHeight);
  EXPECT_LE(height, 20 * kItemHeight + 8);
}

TEST_F(AddressComboTest, WithoutHandlerTheRowShowsItsText) {
  TAddressComboBox plain;
  plain.resize(160, 22);
  plain.addItem(QStringLiteral("WWWW"));
  const QImage image = test::Grab(&plain);
  EXPECT_EQ(CountText(image, image.rect(), kBackground, kGreen), 0);
  EXPECT_GT(CountText(image, QRect(0, 0, 60, 22), kBackground, Qt::black), 10);
}

}  // namespace
}  // namespace tarnel
