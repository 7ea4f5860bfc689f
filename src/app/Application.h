#pragma once

#include <QApplication>
#include <QString>
#include <exception>

namespace tarnel {

inline const QString ApplicationTitle = QStringLiteral("TarnelCommunicationSetup2");

// The application object: its title is on every message box, and every exception that escapes an event
// handler is shown in an error box instead of ending the program.
class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// The application's default handling of an exception: an error box titled with the application title,
// with a period appended when the message's last character sorts after "."; a silent abort shows nothing.
void ShowApplicationException(std::exception_ptr Error);

// The message text as the error box shows it.
QString ApplicationErrorText(const QString& Message);

// A plain message box: no icon, one OK button, titled with the application title.
void ShowPlainMessage(QWidget* Parent, const QString& Text);

}  // namespace tarnel
