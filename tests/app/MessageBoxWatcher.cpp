#include "app/MessageBoxWatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>

#include <gtest/gtest.h>

namespace tarnel::test {

TMessageBoxWatcher::TMessageBoxWatcher() {
  QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
  FTimer.start(20);
}

void TMessageBoxWatcher::Poll() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible()) return;
  FShown.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButton(box->defaultButton())});
  QAbstractButton* button = box->button(QMessageBox::Ok);
  if (!button) button = box->button(Answer);
  ASSERT_NE(button, nullptr) << box->text().toStdString();
  button->click();
}

}  // namespace tarnel::test
