#include "ui/AddressItem.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <array>

#include "ui/DropDownStyle.h"
#include "ui/ShapeEx.h"

namespace tarnel {
namespace {

constexpr int kLeftMargin = 3;
constexpr int kCaptionGap = 2;
constexpr int kFieldGap = 4;
constexpr int kSecondLineBottom = 3;
constexpr int kCaptionSize = 7;
constexpr int kValueSize = 9;
constexpr int kSecondLineSize = kValueSize - 1;

const QColor kGrey(0x80, 0x80, 0x80);

struct TFieldColors {
  QColor Ascii, Dec, Hex;
};
const TFieldColors kNormalColors{QColor(0x00, 0x00, 0x80), QColor(0x00, 0x80, 0x00),
                                 QColor(0x80, 0x00, 0x00)};
const TFieldColors kSelectedColors{QColor(0xFF, 0xFF, 0xFF), QColor(0x00, 0xFF, 0xFF),
                                   QColor(0xFF, 0xFF, 0x00)};

// The characters 128 .. 159 of the Western Windows code page; the rest of 0 .. 255 is Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QChar AddressChar(int32_t Index) {
  if (Index >= 128 && Index < 160) return QChar(kCp1252High[Index - 128]);
  return QChar(static_cast<char16_t>(Index & 0xFF));
}

bool IsLetterOrDigit(int32_t Index) {
  return (Index >= 48 && Index <= 57) || (Index >= 65 && Index <= 90) || (Index >= 97 && Index <= 122);
}

// Point sizes become pixel sizes at 96 dots per inch, rounded as the system scales font heights.
void SetFontSize(QPainter* Canvas, int Points) {
  QFont font = Canvas->font();
  font.setPixelSize((Points * 96 + 36) / 72);
  Canvas->setFont(font);
}

int TextWidth(const QPainter* Canvas, const QString& Text) {
  return QFontMetrics(Canvas->font()).horizontalAdvance(Text);
}

int TextHeight(const QPainter* Canvas) {
  return QFontMetrics(Canvas->font()).height();
}

// Draws Text with its top-left corner at (X, Y).
void TextOut(QPainter* Canvas, int X, int Y, const QString& Text, const QColor& Color) {
  Canvas->setPen(Color);
  Canvas->drawText(X, Y + QFontMetrics(Canvas->font()).ascent(), Text);
}

// One field: a small caption and a larger value. Returns where the value starts.
int DrawCaption(QPainter* Canvas, int X, int YCaption, const QString& Caption, const QColor& Color,
                bool Show) {
  SetFontSize(Canvas, kCaptionSize);
  if (Show) TextOut(Canvas, X, YCaption, Caption, Color);
  return X + TextWidth(Canvas, Caption) + kCaptionGap;
}

void DrawSecondLine(QPainter* Canvas, int32_t Index, const QRect& Rect) {
  QString text;
  if (Index == 254) text = QStringLiteral("(universal tarnel address)");
  if (Index == 255) text = QStringLiteral("(special tarnel address)");
  if (text.isEmpty()) return;
  SetFontSize(Canvas, kValueSize);
  const int bottom = Rect.y() + Rect.height();
  const int y = bottom - kSecondLineBottom - TextHeight(Canvas);
  SetFontSize(Canvas, kSecondLineSize);
  TextOut(Canvas, Rect.x() + kLeftMargin, y, text, Qt::black);
}

}  // namespace

void DrawAddressItem(QPainter* Canvas, int32_t Index, const QRect& Rect, TOwnerDrawState State,
                     int32_t ItemHeight) {
  if (!Canvas) return;
  Canvas->fillRect(Rect, Canvas->brush());
  QFont font = Canvas->font();
  font.setFamily(QStringLiteral("Arial"));
  Canvas->setFont(font);
  const TFieldColors& colors = (State & OwnerDraw(odSelected)) ? kSelectedColors : kNormalColors;
  int x = Rect.x() + kLeftMargin;

  SetFontSize(Canvas, kValueSize);
  const double centre = ItemHeight / 2.0 + Rect.y();
  const int yValue = RoundHalfEven(centre - TextHeight(Canvas) / 2.0);
  const int yCaption = yValue + 2;
  const int slotChar = TextWidth(Canvas, QStringLiteral("W"));
  const int slotDec = TextWidth(Canvas, QStringLiteral("999"));

  const bool showAscii = Index > 32;
  const QColor asciiColor = IsLetterOrDigit(Index) ? colors.Ascii : kGrey;
  x = DrawCaption(Canvas, x, yCaption, QStringLiteral("ascii:"), asciiColor, showAscii);
  SetFontSize(Canvas, kValueSize);
  if (showAscii) TextOut(Canvas, x, yValue, QString(AddressChar(Index)), asciiColor);
  x += slotChar + kFieldGap;

  x = DrawCaption(Canvas, x, yCaption, QStringLiteral("dec:"), colors.Dec, true);
  SetFontSize(Canvas, kValueSize);
  TextOut(Canvas, x, yValue, QString::number(Index), colors.Dec);
  x += slotDec + kFieldGap;

  x = DrawCaption(Canvas, x, yCaption, QStringLiteral("hex:"), colors.Hex, true);
  SetFontSize(Canvas, kValueSize);
  TextOut(Canvas, x, yValue, QStringLiteral("%1").arg(Index & 0xFF, 2, 16, QChar('0')).toUpper(), colors.Hex);

  if (Rect.height() > ItemHeight) DrawSecondLine(Canvas, Index, Rect);
}

void cbbOldAddressDrawItem(QPainter* Canvas, int32_t Index, const QRect& Rect, TOwnerDrawState State,
                           int32_t ItemHeight) {
  DrawAddressItem(Canvas, Index, Rect, State, ItemHeight);
}

void cbbOldAddressMeasureItem(int32_t Index, int32_t& Height, int32_t ItemHeight) {
  if (Index >= 254) Height = 2 * ItemHeight;
}

TAddressComboBox::TAddressComboBox(QWidget* Parent) : QComboBox(Parent) {
  UseDropDownList(this);
  setItemDelegate(new TAddressItemDelegate(this));
}

void TAddressComboBox::SetItemHeight(int32_t Value) {
  if (FItemHeight == Value) return;
  FItemHeight = Value;
  update();
}

int32_t TAddressComboBox::MeasureItem(int32_t Index) const {
  int32_t height = FItemHeight;
  if (OnMeasureItem) OnMeasureItem(Index, height, FItemHeight);
  return height;
}

void TAddressComboBox::DrawItem(QPainter* Canvas, int32_t Index, const QRect& Rect,
                                TOwnerDrawState State) const {
  const bool selected = State & OwnerDraw(odSelected);
  Canvas->save();
  Canvas->setFont(font());
  Canvas->setBrush(palette().color(selected ? QPalette::Highlight : QPalette::Base));
  Canvas->setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
  if (OnDrawItem) {
    OnDrawItem(Canvas, Index, Rect, State, FItemHeight);
  } else {
    Canvas->fillRect(Rect, Canvas->brush());
    Canvas->drawText(Rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, itemText(Index));
  }
  if (State & OwnerDraw(odFocused)) {
    Canvas->setBrush(Qt::NoBrush);
    Canvas->setPen(
        QPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text), 1, Qt::DotLine));
    Canvas->drawRect(Rect.adjusted(0, 0, -1, -1));
  }
  Canvas->restore();
}

// The frame and arrow come from the style; the edit part is the selected entry, drawn like a row of the
// list at the standard height (so 254 shows no second line there).
void TAddressComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  option.currentText.clear();
  option.currentIcon = QIcon();
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  if (currentIndex() < 0) return;
  const QRect edit =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  const QRect row(edit.x(), edit.y() + (edit.height() - FItemHeight) / 2, edit.width(), FItemHeight);
  TOwnerDrawState state = OwnerDraw(odComboBoxEdit);
  if (hasFocus()) state |= OwnerDraw(odSelected) | OwnerDraw(odFocused);
  painter.setClipRect(edit);
  DrawItem(&painter, currentIndex(), row, state);
}

TAddressItemDelegate::TAddressItemDelegate(TAddressComboBox* Combo)
    : QStyledItemDelegate(Combo), FCombo(Combo) {}

void TAddressItemDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                                 const QModelIndex& Index) const {
  TOwnerDrawState state = 0;
  if (Option.state & QStyle::State_Selected) state |= OwnerDraw(odSelected);
  if (Option.state & QStyle::State_HasFocus) state |= OwnerDraw(odFocused);
  FCombo->DrawItem(Painter, Index.row(), Option.rect, state);
}

QSize TAddressItemDelegate::sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
  return {Option.rect.width() > 0 ? Option.rect.width() : FCombo->width(), FCombo->MeasureItem(Index.row())};
}

}  // namespace tarnel
