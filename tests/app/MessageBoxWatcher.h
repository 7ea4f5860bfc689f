#pragma once

#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <vector>

namespace tarnel::test {

// A message box as the user saw it.
struct TShownBox {
  QString Title;
  QString Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  QMessageBox::StandardButton Default = QMessageBox::NoButton;  // what Enter would have pressed
};

// Answers every modal message box that opens while it lives: records what it showed and presses OK, or on
// a question the answer set here.
class TMessageBoxWatcher {
 public:
  TMessageBoxWatcher();
  const std::vector<TShownBox>& Shown() const { return FShown; }
  void Clear() { FShown.clear(); }
  QMessageBox::StandardButton Answer = QMessageBox::Yes;

 private:
  void Poll();
  QTimer FTimer;
  std::vector<TShownBox> FShown;
};

}  // namespace tarnel::test
