#include "ui/ShapeEx.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tarnel {

namespace {

// Space and Enter press a button; with Ctrl, Alt or Meta they belong to someone else.
bool IsPressKey(const QKeyEvent* Event) {
  if (Event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const int key = Event->key();
  return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

int32_t RoundHalfEven(double Value) {
  const double lower = std::floor(Value);
  const double diff = Value - lower;
  if (diff > 0.5) return static_cast<int32_t>(lower) + 1;
  if (diff < 0.5) return static_cast<int32_t>(lower);
  const auto low = static_cast<int64_t>(lower);
  return static_cast<int32_t>(low % 2 == 0 ? low : low + 1);
}

TShapeEx::TShapeEx(QWidget* Parent) : QWidget(Parent) {
  resize(65, 65);
  // Like a push button: reached by Tab and focused by a click.
  setFocusPolicy(Qt::StrongFocus);
}

void TShapeEx::SetShape(TShapeType Value) {
  if (FShape == Value) return;
  FShape = Value;
  update();
}

void TShapeEx::SetBrush(const QBrush& Value) {
  if (FBrush == Value) return;
  FBrush = Value;
  update();
}

void TShapeEx::SetBrushColor(const QColor& Value) {
  if (FBrush.color() == Value) return;
  FBrush.setColor(Value);
  update();
}

void TShapeEx::SetPen(const QPen& Value) {
  if (FPen == Value) return;
  FPen = Value;
  update();
}

void TShapeEx::SetPenColor(const QColor& Value) {
  if (FPen.color() == Value) return;
  FPen.setColor(Value);
  update();
}

void TShapeEx::SetFontColor(const QColor& Value) {
  if (FFontColor == Value) return;
  FFontColor = Value;
  update();
}

void TShapeEx::SetRoundCorner(int32_t Value) {
  FRoundCorner = Value;
  update();
}

void TShapeEx::SetColorSchema(TShapeExColorSchema* Value) {
  FColorSchema = Value;
  update();
}

void TShapeEx::SetCaption(const QString& Value) {
  FCaption = Value;
  update();
}

void TShapeEx::SetDown(bool Value) {
  if (FDown == Value) return;
  if (Value && FGroup != 0) ReleaseGroup();
  FDown = Value;
  update();
}

// Buttons of one group under one parent act like radio buttons.
void TShapeEx::ReleaseGroup() {
  if (!parentWidget()) return;
  for (QObject* child : parentWidget()->children()) {
    auto* other = qobject_cast<TShapeEx*>(child);
    if (other && other->Group() == FGroup) other->SetDown(false);
  }
}

// Colours are written into the brush, pen and font colour, as the painting always leaves them.
void TShapeEx::ApplySchemeColors() {
  const TShapeExColorSchema* scheme = FColorSchema;
  if (!scheme) return;
  QColor brush = scheme->DefaultBrushColor();
  QColor font = scheme->DefaultFontColor();
  QColor border = scheme->DefaultBorderColor();
  if (FAllowDown && FDown) {
    brush = scheme->DownBrushColor();
    font = scheme->DownFontColor();
    border = scheme->DownBorderColor();
  } else if (FMouseOver) {
    brush = scheme->OnMouseBrushColor();
    font = scheme->OnMouseFontColor();
    border = scheme->OnMouseBorderColor();
  }
  if (!isEnabled()) {
    brush = scheme->DisabledBrushColor();
    font = scheme->DisabledFontColor();
    border = scheme->DisabledBorderColor();
  }
  if (FBrush.color() != brush) FBrush.setColor(brush);
  if (FFontColor != font) FFontColor = font;
  if (FPen.color() != border) FPen.setColor(border);
}

// The box the shape is drawn over, as left, top, width and height before the pen is applied.
QRect TShapeEx::ShapeBox() const {
  const int pen = FPen.width();
  int x = pen / 2;
  int y = pen / 2;
  int w = width() - pen + 1;
  int h = height() - pen + 1;
  if (pen == 0) {
    --w;
    --h;
  }
  if (FShape == stSquare || FShape == stRoundSquare || FShape == stCircle) {
    const int s = w < h ? w : h;
    x += (w - s) / 2;
    y += (h - s) / 2;
    w = h = s;
  }
  return {x, y, w, h};
}

// The box's right and bottom edges are exclusive: a one-pixel pen covers the columns Left .. Left+W-1, and
// without a pen the fill stops one pixel short of that.
void TShapeEx::DrawShape(QPainter& Canvas, const QRect& Box) const {
  const bool hasPen = FPen.style() != Qt::NoPen;
  QPen pen = FPen;
  if (pen.width() < 1) pen.setWidth(1);
  Canvas.setPen(hasPen ? pen : QPen(Qt::NoPen));
  Canvas.setBrush(FBrush);
  const QRect inner(Box.x(), Box.y(), Box.width() - 1, Box.height() - 1);
  QRectF path(inner);
  if (hasPen && pen.width() > 1) path.translate(0.5, 0.5);
  const qreal corner = FRoundCorner / 2.0;
  switch (FShape) {
    case stRectangle:
    case stSquare:
      Canvas.drawRect(path);
      break;
    case stRoundRect:
    case stRoundSquare:
      Canvas.drawRoundedRect(path, corner, corner, Qt::AbsoluteSize);
      break;
    case stEllipse:
    case stCircle:
      Canvas.drawEllipse(path);
      break;
  }
}

void TShapeEx::DrawCaption(QPainter& Canvas, const QRect& Box) {
  // From the first caption on, a font change of the parent no longer reaches this control.
  if (!testAttribute(Qt::WA_SetFont)) {
    QFont own = font();
    own.setResolveMask(QFont::AllPropertiesResolved);
    setFont(own);
  }
  QFont canvasFont(font().family());
  if (font().pixelSize() > 0)
    canvasFont.setPixelSize(font().pixelSize());
  else
    canvasFont.setPointSizeF(font().pointSizeF());
  const QFontMetrics metrics(canvasFont);
  const int textHeight = metrics.height();
  const int textWidth = metrics.horizontalAdvance(FCaption);
  const int top = RoundHalfEven(Box.y() + Box.height() / 2.0 - textHeight / 2.0) - 1;
  const int left = RoundHalfEven(Box.x() + Box.width() / 2.0 - textWidth / 2.0);
  if (FBrush.style() != Qt::NoBrush) Canvas.fillRect(QRect(left, top, textWidth, textHeight), FBrush.color());
  Canvas.setFont(canvasFont);
  Canvas.setPen(FFontColor);
  Canvas.drawText(left, top + metrics.ascent(), FCaption);
}

// One-pixel dots with one-pixel gaps, three pixels inside the shape's box, in the caption's colour: clear of
// the border and of the rounded corners up to a corner of 16 pixels, and of a caption of the usual size.
void TShapeEx::DrawFocusMark(QPainter& Canvas, const QRect& Box) const {
  constexpr int kInset = 3;
  const QRect mark(Box.x() + kInset, Box.y() + kInset, Box.width() - 2 * kInset - 1,
                   Box.height() - 2 * kInset - 1);
  if (mark.width() < 1 || mark.height() < 1) return;
  QPen pen(FFontColor, 1, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
  pen.setDashPattern({1, 1});
  Canvas.setPen(pen);
  Canvas.setBrush(Qt::NoBrush);
  Canvas.drawRect(mark);
}

void TShapeEx::paintEvent(QPaintEvent*) {
  ApplySchemeColors();
  QPainter canvas(this);
  const QRect box = ShapeBox();
  DrawShape(canvas, box);
  if (!FCaption.isEmpty()) DrawCaption(canvas, box);
  if (hasFocus()) DrawFocusMark(canvas, box);
}

void TShapeEx::enterEvent(QEnterEvent* Event) {
  QWidget::enterEvent(Event);
  FMouseOver = true;
  update();
}

void TShapeEx::leaveEvent(QEvent* Event) {
  QWidget::leaveEvent(Event);
  FMouseOver = false;
  update();
}

void TShapeEx::mousePressEvent(QMouseEvent* Event) {
  QWidget::mousePressEvent(Event);
  if (Event->button() == Qt::LeftButton) FPressed = true;
}

bool TShapeEx::FireClick() {
  if (!onClick) return true;
  const QPointer<TShapeEx> self(this);
  onClick(this);
  return !self.isNull();
}

void TShapeEx::ToggleDown() {
  if (FDown && FAllowUp)
    SetDown(false);
  else if (!FDown && FAllowDown)
    SetDown(true);
}

// The click fires first, then the down state toggles: a handler sees the state before the click.
void TShapeEx::mouseReleaseEvent(QMouseEvent* Event) {
  QWidget::mouseReleaseEvent(Event);
  if (Event->button() != Qt::LeftButton) return;
  const bool click = FPressed && rect().contains(Event->position().toPoint());
  FPressed = false;
  if (click && !FireClick()) return;
  ToggleDown();
}

// A key click acts as a mouse click does. A handler may have disabled the button since the key went down.
void TShapeEx::KeyClick() {
  if (!isEnabled()) return;
  if (FireClick()) ToggleDown();
}

// Enter clicks when it goes down; Space when it comes up, so a held Space is one click. Repeats of a held
// key are swallowed: one press, one exchange with the device.
void TShapeEx::keyPressEvent(QKeyEvent* Event) {
  if (!IsPressKey(Event)) return QWidget::keyPressEvent(Event);
  Event->accept();
  if (Event->isAutoRepeat()) return;
  if (Event->key() == Qt::Key_Space)
    FSpacePressed = true;
  else
    KeyClick();
}

void TShapeEx::keyReleaseEvent(QKeyEvent* Event) {
  if (Event->key() != Qt::Key_Space) return QWidget::keyReleaseEvent(Event);
  Event->accept();
  if (Event->isAutoRepeat() || !FSpacePressed) return;
  FSpacePressed = false;
  KeyClick();
}

// A Space pressed here and released after the focus went elsewhere is no click.
void TShapeEx::focusOutEvent(QFocusEvent* Event) {
  FSpacePressed = false;
  QWidget::focusOutEvent(Event);
}

void TShapeEx::changeEvent(QEvent* Event) {
  QWidget::changeEvent(Event);
  if (Event->type() == QEvent::EnabledChange) update();
}

}  // namespace tarnel
