#include "ui/ShapeEx.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tarnel {

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
  setFocusPolicy(Qt::NoFocus);
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

void TShapeEx::paintEvent(QPaintEvent*) {
  ApplySchemeColors();
  QPainter canvas(this);
  const QRect box = ShapeBox();
  DrawShape(canvas, box);
  if (!FCaption.isEmpty()) DrawCaption(canvas, box);
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

// The click fires first, then the down state toggles: a handler sees the state before the click.
void TShapeEx::mouseReleaseEvent(QMouseEvent* Event) {
  QWidget::mouseReleaseEvent(Event);
  if (Event->button() != Qt::LeftButton) return;
  const bool click = FPressed && rect().contains(Event->position().toPoint());
  FPressed = false;
  if (click && onClick) {
    const QPointer<TShapeEx> self(this);
    onClick(this);
    if (!self) return;
  }
  if (FDown && FAllowUp)
    SetDown(false);
  else if (!FDown && FAllowDown)
    SetDown(true);
}

void TShapeEx::changeEvent(QEvent* Event) {
  QWidget::changeEvent(Event);
  if (Event->type() == QEvent::EnabledChange) update();
}

}  // namespace tarnel
