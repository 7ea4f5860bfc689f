#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

namespace tarnel {

// A check box that takes a click anywhere over its laid-out area, not only over its box and text: a short
// text must not leave the right part of the control dead.
class TAreaCheckBox : public QCheckBox {
  Q_OBJECT
 public:
  using QCheckBox::QCheckBox;

 protected:
  bool hitButton(const QPoint& Pos) const override { return rect().contains(Pos); }
};

// A radio button that takes a click anywhere over its laid-out area.
class TAreaRadioButton : public QRadioButton {
  Q_OBJECT
 public:
  using QRadioButton::QRadioButton;

 protected:
  bool hitButton(const QPoint& Pos) const override { return rect().contains(Pos); }
};

// A line edit with an input mask that puts the cursor where typing can go on: a click past the text, or
// focus by Tab, lands on the first unfilled position instead of behind the last one, where every key
// would be ignored.
class TMaskEdit : public QLineEdit {
  Q_OBJECT
 public:
  using QLineEdit::QLineEdit;

  // The cursor position of the first input position still showing the blank; -1 without a mask or when
  // every position is filled.
  int FirstBlank() const;

 protected:
  void mousePressEvent(QMouseEvent* Event) override;
  void focusInEvent(QFocusEvent* Event) override;
};

}  // namespace tarnel
