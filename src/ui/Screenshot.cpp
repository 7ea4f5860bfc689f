#include "ui/Screenshot.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace tarnel {

bool ScheduleScreenshot(QWidget* Window) {
  const QString path = qEnvironmentVariable("TARNEL_SCREENSHOT");
  if (path.isEmpty() || !Window) return false;
  const QPointer<QWidget> target(Window);
  // A short delay lets the show handlers and the first paints run as they would for a user.
  QTimer::singleShot(300, Window, [target, path] {
    const QString focus = qEnvironmentVariable("TARNEL_SCREENSHOT_FOCUS");
    if (target && !focus.isEmpty()) {
      target->activateWindow();
      if (auto* control = target->findChild<QWidget*>(focus)) control->setFocus(Qt::TabFocusReason);
      QCoreApplication::processEvents();
    }
    const bool saved = target && target->grab().save(path, "PNG");
    if (!saved) std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(path));
    QCoreApplication::exit(saved ? 0 : 1);
  });
  return true;
}

}  // namespace tarnel
