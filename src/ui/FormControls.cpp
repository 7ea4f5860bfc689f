#include "ui/FormControls.h"

#include <QFocusEvent>
#include <QMouseEvent>

namespace tarnel {
namespace {

// The characters of an input mask that stand for one typed character each.
bool IsMaskInput(QChar C) {
  return QStringLiteral("AaNnXx90Dd#HhBb").contains(C);
}

}  // namespace

// Walks the mask as the line edit reads it: "\" makes the next character a literal, "<", ">" and "!" take
// no position, and ";" ends the mask, followed by the blank character (a space when none is given).
int TMaskEdit::FirstBlank() const {
  const QString mask = inputMask();
  if (mask.isEmpty()) return -1;
  const qsizetype delimiter = mask.indexOf(QLatin1Char(';'));
  const QString body = delimiter < 0 ? mask : mask.left(delimiter);
  const QChar blank = delimiter >= 0 && delimiter + 1 < mask.size() ? mask[delimiter + 1] : QLatin1Char(' ');
  const QString shown = displayText();
  int position = 0;
  bool escaped = false;
  for (const QChar c : body) {
    if (!escaped && c == QLatin1Char('\\')) {
      escaped = true;
      continue;
    }
    if (!escaped && (c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('!'))) continue;
    if (!escaped && IsMaskInput(c) && position < shown.size() && shown[position] == blank) return position;
    escaped = false;
    ++position;
  }
  return -1;
}

// A click on a filled position keeps its place, so a typed digit can be corrected; only a click past the
// first blank moves back to it. Shift-click extends a selection as usual.
void TMaskEdit::mousePressEvent(QMouseEvent* Event) {
  QLineEdit::mousePressEvent(Event);
  if (Event->button() != Qt::LeftButton || (Event->modifiers() & Qt::ShiftModifier)) return;
  const int blank = FirstBlank();
  if (blank >= 0 && cursorPosition() > blank) setCursorPosition(blank);
}

void TMaskEdit::focusInEvent(QFocusEvent* Event) {
  QLineEdit::focusInEvent(Event);
  if (Event->reason() != Qt::TabFocusReason && Event->reason() != Qt::BacktabFocusReason) return;
  const int blank = FirstBlank();
  if (blank >= 0) setCursorPosition(blank);
}

}  // namespace tarnel
