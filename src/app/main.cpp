#include "app/Application.h"
#include "app/ufMain.h"
#include "ui/Screenshot.h"

int main(int argc, char** argv) {
  tarnel::TApplication app(argc, argv);
  tarnel::TfMain fMain;
  fMain.show();
  tarnel::ScheduleScreenshot(&fMain);  // only when TARNEL_SCREENSHOT names a file
  return app.exec();
}
