#pragma once

#include <QByteArray>
#include <QtGlobal>

#include "support/TestMain.h"

namespace tarnel::test {

// The window's tests under Wine, on Qt's offscreen platform, which draws text with FreeType from one folder
// of font files: Windows' own (the prefix's, where the harness puts Liberation Sans as "Arial"). Without
// it every character would be an empty box. Wine passes no QT_ variable on, so it is set here.
template <typename App>
int RunAllWineTestsUnder(int argc, char** argv) {
  qputenv("QT_QPA_FONTDIR", qgetenv("WINDIR") + "\\Fonts");
  return RunAllTestsUnder<App>(argc, argv);
}

}  // namespace tarnel::test
