#include "app/Application.h"

#include <QMessageBox>

#include "common/Exception.h"
#include "serial/AfComPort.h"
#include "serial/AfSafeSync.h"
#include "serial/ApplicationErrors.h"

namespace tarnel {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(ApplicationTitle);
  // Lets the desktop match the running window to the installed entry and its icon.
  setDesktopFileName(QStringLiteral("org.tarnel.Setup"));
  SetApplicationExceptionHandler(ShowApplicationException);
  TAfCustomSerialPort::SetBusyCursorHooks([] { QApplication::setOverrideCursor(Qt::WaitCursor); },
                                          [] { QApplication::restoreOverrideCursor(); });
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = true;
  Guarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

QString ApplicationErrorText(const QString& Message) {
  if (!Message.isEmpty() && Message.back() > QLatin1Char('.')) return Message + QLatin1Char('.');
  return Message;
}

void ShowApplicationException(std::exception_ptr Error) {
  QString message;
  try {
    std::rethrow_exception(Error);
  } catch (const EAbort&) {
    return;
  } catch (const std::exception& e) {
    message = QString::fromUtf8(e.what());
  } catch (...) {
    message = QStringLiteral("An unexpected error occurred.");
  }
  QMessageBox box(QMessageBox::Critical, ApplicationTitle, ApplicationErrorText(message), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

void ShowPlainMessage(QWidget* Parent, const QString& Text) {
  QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, Text, QMessageBox::Ok, Parent);
  box.exec();
}

}  // namespace tarnel
