#include "app/BusyWindow.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QThread>

namespace tarnel {
namespace {

bool IsUserInput(QEvent::Type Type) {
  switch (Type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
      return true;
    default:
      return false;
  }
}

// Drops input only at the level it was made at: a message box opened by something processed meanwhile runs
// its own event loop, and must still take the user's clicks.
class TInputSink : public QObject {
 public:
  TInputSink() : FLoopLevel(QThread::currentThread()->loopLevel()) {}

 protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    return IsUserInput(Event->type()) && QThread::currentThread()->loopLevel() == FLoopLevel;
  }

 private:
  const int FLoopLevel;
};

}  // namespace

void DiscardPendingInput() {
  if (QCoreApplication::instance() == nullptr) return;
  TInputSink sink;
  QCoreApplication::instance()->installEventFilter(&sink);
  // sync() also asks the window system for what it still holds, so a click made just before the end of
  // the exchange is read now and dropped, not delivered after the handler returns.
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    QGuiApplication::sync();
  else
    QCoreApplication::processEvents();
  QCoreApplication::instance()->removeEventFilter(&sink);
}

TBusyWindow::TBusyWindow() {
  QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  DiscardPendingInput();  // also hands the cursor change to the window system before the window blocks
}

TBusyWindow::~TBusyWindow() {
  DiscardPendingInput();
  QGuiApplication::restoreOverrideCursor();
}

}  // namespace tarnel
