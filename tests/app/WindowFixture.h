#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/MessageBoxWatcher.h"
#include "app/ufMain.h"
#include "sim/DeviceSimulator.h"
#include "support/Hex.h"
#include "support/PtyPair.h"

// Failure output shows texts, not their UTF-16 units.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& Text, std::ostream* Out) {
  *Out << '"' << Text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace tarnel::test {

// The test's COM folder, named by TARNEL_COM_DIR while it lives, in the toolkit's terms.
class TWindowComDir : public ComDir {
 public:
  QString path() const { return QString::fromStdString(Path()); }
};

// The window with simulated devices on COM 1 (TARNEL_COM_DIR points at a folder of the test's own).
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  int AddDevice(const sim::TDeviceConfig& Config) { return Sim.AddDevice(Config); }
  void StartLine();              // starts the simulated line as COM 1
  void OpenPort();               // opens COM 1 the way the open/close button does
  void Click(TShapeEx* Button);  // a real mouse click on a shape button
  std::vector<QString> LogLines() const;
  std::vector<sim::THeardRequest> PacketsHeard() const;
  static QString AddressText(int Address) { return QString(QChar(Address)); }

  TWindowComDir ComDir;
  sim::TDeviceSimulator Sim;
  std::unique_ptr<TfMain> Window;
  std::unique_ptr<TMessageBoxWatcher> Boxes;
};

}  // namespace tarnel::test
