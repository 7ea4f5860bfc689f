#include "ui/Bevel.h"

#include <QPainter>

#include "ui/SystemColors.h"

namespace tarnel {

TBevel::TBevel(QWidget* Parent) : QFrame(Parent) {
  setFrameShadow(QFrame::Sunken);
}

void TBevel::paintEvent(QPaintEvent*) {
  const bool raised = frameShadow() == QFrame::Raised;
  QPainter canvas(this);
  canvas.fillRect(0, height() - 2, width(), 1, raised ? clBtnHighlight : clBtnShadow);
  canvas.fillRect(0, height() - 1, width(), 1, raised ? clBtnShadow : clBtnHighlight);
}

}  // namespace tarnel
