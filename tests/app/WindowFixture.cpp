#include "app/WindowFixture.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

namespace tarnel::test {

void WindowTest::SetUp() {
  Boxes = std::make_unique<TMessageBoxWatcher>();
  Window = std::make_unique<TfMain>();
  Window->show();
}

void WindowTest::TearDown() {
  Window.reset();
  Boxes.reset();
  Sim.Stop();
}

void WindowTest::StartLine() {
  Sim.Start(ComDir.Path(), 1);
}

void WindowTest::OpenPort() {
  Window->AfComPort1->SetComNumber(1);
  Window->AfComPortOpenClose(nullptr);  // the button becomes usable once a port number is set
  Click(Window->shpxOpenClose);
  ASSERT_TRUE(Window->AfComPort1->Active());
}

void WindowTest::Click(TShapeEx* Button) {
  QTest::mouseClick(Button, Qt::LeftButton);
}

std::vector<QString> WindowTest::LogLines() const {
  const QString text = Window->mLog->toPlainText();
  if (text.isEmpty()) return {};
  std::vector<QString> lines;
  for (const QString& line : text.split(QLatin1Char('\n')))
    lines.push_back(line);
  return lines;
}

std::vector<sim::THeardRequest> WindowTest::PacketsHeard() const {
  std::vector<sim::THeardRequest> packets;
  for (const sim::THeardRequest& request : Sim.Requests())
    if (request.Packet) packets.push_back(request);
  return packets;
}

}  // namespace tarnel::test
