#pragma once

#include <QBrush>
#include <QColor>
#include <QObject>
#include <QPen>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace tarnel {

enum TShapeType : uint8_t { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

// Twelve colours shared by the shape buttons that point at it; a new scheme is all black. The buttons read
// it each time they paint, so it needs no notifications of its own.
class TShapeExColorSchema : public QObject {
  Q_OBJECT
 public:
  explicit TShapeExColorSchema(QObject* Owner = nullptr) : QObject(Owner) {}

  QColor DefaultBrushColor() const { return FDefaultBrushColor; }
  void SetDefaultBrushColor(const QColor& Value) { FDefaultBrushColor = Value; }
  QColor DefaultFontColor() const { return FDefaultFontColor; }
  void SetDefaultFontColor(const QColor& Value) { FDefaultFontColor = Value; }
  QColor DefaultBorderColor() const { return FDefaultBorderColor; }
  void SetDefaultBorderColor(const QColor& Value) { FDefaultBorderColor = Value; }
  QColor OnMouseBrushColor() const { return FOnMouseBrushColor; }
  void SetOnMouseBrushColor(const QColor& Value) { FOnMouseBrushColor = Value; }
  QColor OnMouseFontColor() const { return FOnMouseFontColor; }
  void SetOnMouseFontColor(const QColor& Value) { FOnMouseFontColor = Value; }
  QColor OnMouseBorderColor() const { return FOnMouseBorderColor; }
  void SetOnMouseBorderColor(const QColor& Value) { FOnMouseBorderColor = Value; }
  QColor DownBorderColor() const { return FDownBorderColor; }
  void SetDownBorderColor(const QColor& Value) { FDownBorderColor = Value; }
  QColor DownFontColor() const { return FDownFontColor; }
  void SetDownFontColor(const QColor& Value) { FDownFontColor = Value; }
  QColor DownBrushColor() const { return FDownBrushColor; }
  void SetDownBrushColor(const QColor& Value) { FDownBrushColor = Value; }
  QColor DisabledBrushColor() const { return FDisabledBrushColor; }
  void SetDisabledBrushColor(const QColor& Value) { FDisabledBrushColor = Value; }
  QColor DisabledFontColor() const { return FDisabledFontColor; }
  void SetDisabledFontColor(const QColor& Value) { FDisabledFontColor = Value; }
  QColor DisabledBorderColor() const { return FDisabledBorderColor; }
  void SetDisabledBorderColor(const QColor& Value) { FDisabledBorderColor = Value; }

 private:
  QColor FDefaultBrushColor{Qt::black};
  QColor FDefaultFontColor{Qt::black};
  QColor FDefaultBorderColor{Qt::black};
  QColor FOnMouseBrushColor{Qt::black};
  QColor FOnMouseFontColor{Qt::black};
  QColor FOnMouseBorderColor{Qt::black};
  QColor FDownBorderColor{Qt::black};
  QColor FDownFontColor{Qt::black};
  QColor FDownBrushColor{Qt::black};
  QColor FDisabledBrushColor{Qt::black};
  QColor FDisabledFontColor{Qt::black};
  QColor FDisabledBorderColor{Qt::black};
};

// A filled shape with a centred caption that serves as a push button; its colours follow the pointer
// through an optional colour scheme. A click is a left press and release over the control, or Space
// (pressed and released) or Enter while it has the focus; a dotted rectangle inside the shape shows the
// focus.
class TShapeEx : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
  Q_PROPERTY(int RoundCorner READ RoundCorner WRITE SetRoundCorner)
  Q_PROPERTY(bool Down READ Down WRITE SetDown)
  Q_PROPERTY(int Group READ Group WRITE SetGroup)
  Q_PROPERTY(bool AllowDown READ AllowDown WRITE SetAllowDown)
  Q_PROPERTY(bool AllowUp READ AllowUp WRITE SetAllowUp)
  Q_PROPERTY(QColor BrushColor READ BrushColor WRITE SetBrushColor)
  Q_PROPERTY(QColor PenColor READ PenColor WRITE SetPenColor)
  Q_PROPERTY(QColor FontColor READ FontColor WRITE SetFontColor)

 public:
  explicit TShapeEx(QWidget* Parent = nullptr);

  TShapeType Shape() const { return FShape; }
  void SetShape(TShapeType Value);
  // Brush style Qt::NoBrush is the clear brush; pen style Qt::NoPen the clear pen.
  const QBrush& Brush() const { return FBrush; }
  void SetBrush(const QBrush& Value);
  QColor BrushColor() const { return FBrush.color(); }
  void SetBrushColor(const QColor& Value);
  const QPen& Pen() const { return FPen; }
  void SetPen(const QPen& Value);
  QColor PenColor() const { return FPen.color(); }
  void SetPenColor(const QColor& Value);
  // The font's colour (QFont carries none).
  QColor FontColor() const { return FFontColor; }
  void SetFontColor(const QColor& Value);

  int32_t RoundCorner() const { return FRoundCorner; }
  void SetRoundCorner(int32_t Value);
  TShapeExColorSchema* ColorSchema() const { return FColorSchema; }
  void SetColorSchema(TShapeExColorSchema* Value);
  QString Caption() const { return FCaption; }
  void SetCaption(const QString& Value);
  bool Down() const { return FDown; }
  void SetDown(bool Value);
  int32_t Group() const { return FGroup; }
  void SetGroup(int32_t Value) { FGroup = Value; }
  bool AllowDown() const { return FAllowDown; }
  void SetAllowDown(bool Value) { FAllowDown = Value; }
  bool AllowUp() const { return FAllowUp; }
  void SetAllowUp(bool Value) { FAllowUp = Value; }
  bool MouseOver() const { return FMouseOver; }

  // Fired with this control as the sender when it is clicked with the mouse or the keyboard while enabled.
  std::function<void(QObject* Sender)> onClick;

  QSize sizeHint() const override { return {65, 65}; }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void enterEvent(QEnterEvent* Event) override;
  void leaveEvent(QEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void keyReleaseEvent(QKeyEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;

 private:
  void ApplySchemeColors();
  QRect ShapeBox() const;
  void DrawShape(QPainter& Canvas, const QRect& Box) const;
  void DrawCaption(QPainter& Canvas, const QRect& Box);
  void DrawFocusMark(QPainter& Canvas, const QRect& Box) const;
  void ReleaseGroup();
  // Fires onClick; false when the handler destroyed this control.
  bool FireClick();
  void ToggleDown();
  void KeyClick();

  TShapeType FShape = stRectangle;
  QBrush FBrush{Qt::white, Qt::SolidPattern};
  QPen FPen{QBrush(Qt::black), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin};
  QColor FFontColor{Qt::black};
  int32_t FRoundCorner = 0;
  // Not owned; a scheme freed before the button simply stops being used.
  QPointer<TShapeExColorSchema> FColorSchema;
  bool FDown = false;
  bool FAllowUp = false;
  bool FAllowDown = false;
  int32_t FGroup = 0;
  bool FMouseOver = false;
  bool FPressed = false;
  bool FSpacePressed = false;
  QString FCaption;
};

// Nearest integer, halves to the even neighbour (the rounding the positions of painted texts use).
int32_t RoundHalfEven(double Value);

}  // namespace tarnel
