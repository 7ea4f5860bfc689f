// Shows the main window as laid out, without the controller: for looking at the layout alone.
#include <QApplication>

#include "ui/Screenshot.h"
#include "ui/fMainLayout.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tarnel::TfMainLayout window;
  window.show();
  tarnel::ScheduleScreenshot(&window);
  return QApplication::exec();
}
