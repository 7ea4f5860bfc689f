#include "app/Application.h"
#include "app/ufMain.h"

int main(int argc, char** argv) {
  tarnel::TApplication app(argc, argv);
  tarnel::TfMain fMain;
  fMain.show();
  return app.exec();
}
