#pragma once

#include <QObject>

namespace tarnel {

// Marks the window busy for one blocking exchange. While it lives the wait cursor shows. Mouse and key
// input that reaches the program while the exchange blocks it is discarded, when the guard is made and when
// it ends: a click on "Set" during "Read Values" must not readdress a device afterwards. Other events (paint,
// timers, deliveries, a close request) are processed as usual.
class TBusyWindow {
 public:
  TBusyWindow();
  ~TBusyWindow();
  TBusyWindow(const TBusyWindow&) = delete;
  TBusyWindow& operator=(const TBusyWindow&) = delete;
};

// Processes what is pending and drops the mouse and key input among it.
void DiscardPendingInput();

}  // namespace tarnel
