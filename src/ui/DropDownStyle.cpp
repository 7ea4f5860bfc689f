#include "ui/DropDownStyle.h"

#include <QApplication>
#include <QComboBox>
#include <QPointer>
#include <QProxyStyle>

namespace tarnel {
namespace {

class TDropDownStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint Hint, const QStyleOption* Option, const QWidget* Widget,
                QStyleHintReturn* Return) const override {
    if (Hint == QStyle::SH_ComboBox_Popup) return 0;
    return QProxyStyle::styleHint(Hint, Option, Widget, Return);
  }
};

}  // namespace

void UseDropDownList(QComboBox* Combo) {
  // One style for every list; it lives as long as the application.
  static QPointer<TDropDownStyle> style;
  if (!style) {
    style = new TDropDownStyle();
    style->setParent(QCoreApplication::instance());
  }
  Combo->setStyle(style);
}

}  // namespace tarnel
