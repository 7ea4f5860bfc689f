#include "serial/AfSafeSync.h"
#include "serial/ApplicationErrors.h"
#include "ui/AfPortControls.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QStandardItemModel>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "Pixels.h"
#include "serial/AfComPort.h"
#include "support/PtyPair.h"
#include "ui/SystemColors.h"

namespace tarnel {
namespace {

constexpr uint32_t Word(TAfPortState State, uint16_t N) {
  return (uint32_t{State} << 16) | N;
}

// COM1 and COM4 free, COM3 held open by another component, COM2 and COM5 dangling links.
class PortComboTest : public testing::Test {
 protected:
  void SetUp() override {
    Dir.Link(1, PtyA.SlavePath());
    Dir.Link(2, Dir.Path() + "/gone");
    Dir.Link(3, PtyHeld.SlavePath());
    Dir.Link(4, PtyB.SlavePath());
    Dir.Link(5, "/nonexistent/ttyX");
    Holder.SetComNumber(3);
    Holder.Open();
    Combo.SetMaxComPorts(5);
  }

  std::vector<QString> Texts() const {
    std::vector<QString> texts;
    for (int i = 0; i < Combo.count(); ++i)
      texts.push_back(Combo.itemText(i));
    return texts;
  }
  std::vector<uint32_t> Words() const {
    std::vector<uint32_t> words;
    for (int i = 0; i < Combo.count(); ++i)
      words.push_back(Combo.itemData(i, TAfPortComboBox::kWordRole).toUInt());
    return words;
  }
  int IndexOf(const QString& Text) const { return Combo.findText(Text); }

  // What the user does: choose an entry of the list.
  void Pick(const QString& Text) {
    const int index = IndexOf(Text);
    ASSERT_GE(index, 0) << Text.toStdString();
    Combo.setCurrentIndex(index);
    emit Combo.activated(index);
    QCoreApplication::sendPostedEvents(&Combo, QEvent::MetaCall);
  }

  // A pick whose open fails hands the error to the application's error display, never through the toolkit.
  std::vector<std::string> PickShowingErrors(const QString& Text) {
    std::vector<std::string> shown;
    SetApplicationExceptionHandler([&shown](std::exception_ptr Error) {
      try {
        std::rethrow_exception(Error);
      } catch (const std::exception& e) {
        shown.push_back(e.what());
      }
    });
    Pick(Text);
    SetApplicationExceptionHandler(nullptr);
    return shown;
  }

  test::ComDir Dir;
  test::PtyPair PtyA, PtyHeld, PtyB;
  TAfComPort Holder;
  TAfPortComboBox Combo;
};

TEST_F(PortComboTest, DefaultOptionsListFreeAndBusyPorts) {
  Combo.UpdatePortList();
  EXPECT_EQ(Texts(), (std::vector<QString>{"COM 1", "COM 3", "COM 4"}));
  EXPECT_EQ(Words(), (std::vector<uint32_t>{Word(psFree, 1), Word(psBusy, 3), Word(psFree, 4)}));
  EXPECT_EQ(Combo.currentIndex(), -1) << "building the list selects nothing";
  EXPECT_EQ(Combo.ItemPortNumber(1), 3);
  EXPECT_EQ(Combo.ItemPortNumber(-1), 0);
}

TEST_F(PortComboTest, DisableOpenListsOnlyFreePorts) {
  Combo.UpdatePortList();
  Combo.SetOptions(PortCtlOption(pcCheckExist) | PortCtlOption(pcDisableOpen));
  EXPECT_EQ(Texts(), (std::vector<QString>{"COM 1", "COM 4"}));
}

TEST_F(PortComboTest, WithoutExistenceCheckEveryNumberIsListed) {
  Combo.UpdatePortList();
  Combo.SetOptions(0);
  EXPECT_EQ(Texts(), (std::vector<QString>{"COM 1", "COM 2", "COM 3", "COM 4", "COM 5"}));
  EXPECT_EQ(Words(), (std::vector<uint32_t>{Word(psFree, 1), Word(psMissing, 2), Word(psBusy, 3),
                                            Word(psFree, 4), Word(psMissing, 5)}));
}

TEST_F(PortComboTest, NoPortsToProbeGivesAnEmptyList) {
  Combo.UpdatePortList();
  Combo.SetSelectedPort(3);
  Combo.SetMaxComPorts(0);
  EXPECT_EQ(Combo.count(), 0);
  Combo.SelectCurrentPort();
  EXPECT_EQ(Combo.SelectedPort(), 0);
}

TEST_F(PortComboTest, SelectCurrentPortFallsBackToTheFirstEntry) {
  Combo.UpdatePortList();
  Combo.SetSelectedPort(4);
  EXPECT_EQ(Combo.currentText(), "COM 4");
  Combo.SetSelectedPort(2);
  EXPECT_EQ(Combo.currentText(), "COM 1");
  EXPECT_EQ(Combo.SelectedPort(), 1);
}

TEST_F(PortComboTest, TheListIsBuiltWhenTheControlIsPolished) {
  EXPECT_EQ(Combo.count(), 0);
  Combo.ensurePolished();
  EXPECT_EQ(Combo.count(), 3);
}

TEST_F(PortComboTest, LinkingTakesTheComponentsPortNumber) {
  Combo.UpdatePortList();
  TAfComPort unnumbered;
  Combo.SetComPort(&unnumbered);
  EXPECT_EQ(Combo.SelectedPort(), 0);
  EXPECT_EQ(Combo.currentIndex(), -1);
  Combo.SetComPort(&Holder);
  EXPECT_EQ(Combo.SelectedPort(), 3);
  EXPECT_EQ(Combo.currentText(), "COM 3");
}

TEST_F(PortComboTest, PickingAnEntryOpensTheLinkedComponent) {
  TAfComPort port;
  std::vector<std::string> events;
  port.OnPortOpen = [&](QObject*) { events.push_back("open " + std::to_string(port.ComNumber())); };
  port.OnPortClose = [&](QObject*) { events.push_back("close"); };
  Combo.SetComPort(&port);
  Combo.UpdatePortList();
  int changes = 0;
  Combo.OnChange = [&](QObject*) {
    ++changes;
    EXPECT_FALSE(port.Active()) << "OnChange comes before the port is opened";
  };

  Pick("COM 1");
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(port.Active());
  EXPECT_EQ(port.ComNumber(), 1);
  EXPECT_EQ(Combo.currentText(), "COM 1");
  EXPECT_EQ(Words()[0], Word(psBusy, 1)) << "an open port stays listed, as busy";

  Combo.OnChange = nullptr;
  Pick("COM 4");
  EXPECT_TRUE(port.Active());
  EXPECT_EQ(port.ComNumber(), 4);
  EXPECT_EQ(Combo.currentText(), "COM 4");
  EXPECT_EQ(events, (std::vector<std::string>{"open 1", "close", "open 4"}));
  EXPECT_EQ(Words()[0], Word(psFree, 1)) << "the port left behind is free again";
}

TEST_F(PortComboTest, KeyboardPickOpensThePort) {
  TAfComPort port;
  Combo.SetComPort(&port);
  Combo.UpdatePortList();
  Combo.setCurrentIndex(IndexOf("COM 3"));
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QCoreApplication::sendEvent(&Combo, &down);
  QCoreApplication::sendPostedEvents(&Combo, QEvent::MetaCall);
  EXPECT_TRUE(port.Active());
  EXPECT_EQ(port.ComNumber(), 4);
  EXPECT_EQ(Combo.currentText(), "COM 4");
}

TEST_F(PortComboTest, ProgrammaticSelectionOpensNothing) {
  TAfComPort port;
  Combo.SetComPort(&port);
  Combo.UpdatePortList();
  Combo.setCurrentIndex(IndexOf("COM 1"));
  Combo.SetSelectedPort(4);
  QCoreApplication::sendPostedEvents(&Combo, QEvent::MetaCall);
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(port.ComNumber(), 0);
}

TEST_F(PortComboTest, VanishedPortLeavesTheComponentClosedAndTheErrorPassesOn) {
  TAfComPort port;
  Combo.SetComPort(&port);
  Combo.UpdatePortList();
  PtyA.CloseMaster();
  EXPECT_EQ(
      PickShowingErrors("COM 1"),
      std::vector<std::string>{"Invalid port number (COM1)\n" + Dir.Path() + "/COM1 leads to " +
                               PtyA.SlavePath() + ", which does not exist (is the adapter plugged in?)."});
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(port.ComNumber(), 1);
  EXPECT_EQ(Texts(), (std::vector<QString>{"COM 3", "COM 4"}));
  EXPECT_EQ(Combo.currentText(), "COM 3");
  EXPECT_EQ(Combo.SelectedPort(), 3);
}

TEST_F(PortComboTest, BusyPortFailsToOpenAndStaysSelected) {
  TAfComPort port;
  Combo.SetComPort(&port);
  Combo.UpdatePortList();
  EXPECT_EQ(PickShowingErrors("COM 3"),
            std::vector<std::string>{"Can't open device COM3.\n" + PtyHeld.SlavePath() +
                                     " is already open in this program (process " + std::to_string(getpid()) +
                                     ")."});
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(port.ComNumber(), 3);
  EXPECT_EQ(Combo.currentText(), "COM 3");
}

// The window binds the hook to its state handler, so "Open port" is right after a failed pick too.
TEST_F(PortComboTest, ThePickHookFollowsEveryPickOnceItsOpenIsOver) {
  TAfComPort port;
  Combo.SetComPort(&port);
  Combo.UpdatePortList();
  std::vector<std::string> errors, calls;
  Combo.OnPortPicked = [&](QObject*) {
    calls.push_back((port.Active() ? "open, " : "closed, ") + std::to_string(errors.size()) + " errors");
  };
  SetApplicationExceptionHandler([&](std::exception_ptr) { errors.push_back("error"); });
  Pick("COM 1");
  Pick("COM 3");
  SetApplicationExceptionHandler(nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"open, 0 errors", "closed, 1 errors"}));
}

TEST_F(PortComboTest, DroppedListMarksPortsThatCannotBeHadAndLeavesOutNonTerminals) {
  const int other = open(PtyB.SlavePath().c_str(), O_RDWR | O_NOCTTY);  // another program's lock
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  Dir.Link(2, "/dev/null");
  Dir.Link(5, Dir.Path());
  Combo.UpdatePortList();
  EXPECT_EQ(Texts(), (std::vector<QString>{"COM 1", "COM 3", "COM 4"}));
  std::vector<QString> marks;
  for (int i = 0; i < Combo.count(); ++i)
    marks.push_back(Combo.itemData(i, TAfPortComboBox::kMarkRole).toString());
  EXPECT_EQ(marks, (std::vector<QString>{"", "(open)", "(in use)"}));
  close(other);
}

TEST_F(PortComboTest, AMissingPortFolderShowsOneDisabledNote) {
  const std::string gone = Dir.Path() + "/not-there";
  setenv("TARNEL_COM_DIR", gone.c_str(), 1);
  Combo.showPopup();
  Combo.hidePopup();
  ASSERT_EQ(Combo.count(), 1);
  EXPECT_EQ(Combo.itemText(0).toStdString(),
            "The folder \"" + gone + "\" named by TARNEL_COM_DIR does not exist.");
  EXPECT_FALSE(qobject_cast<QStandardItemModel*>(Combo.model())->item(0)->isEnabled());
  EXPECT_EQ(Combo.ItemPortNumber(0), 0);
  Combo.SelectCurrentPort();
  EXPECT_EQ(Combo.currentIndex(), -1) << "a note is no port to select";
  setenv("TARNEL_COM_DIR", Dir.Path().c_str(), 1);
  Combo.UpdatePortList();
  EXPECT_EQ(Combo.count(), 3);
}

TEST_F(PortComboTest, DestroyedComponentIsUnlinked) {
  auto port = std::make_unique<TAfComPort>();
  Combo.SetComPort(port.get());
  Combo.UpdatePortList();
  port.reset();
  EXPECT_EQ(Combo.ComPort(), nullptr);
  Pick("COM 1");
  EXPECT_EQ(Combo.SelectedPort(), 1);
}

TEST_F(PortComboTest, DroppingDownFindsPortsPluggedInLater) {
  Combo.UpdatePortList();
  Combo.SetSelectedPort(4);
  test::PtyPair late;
  Dir.Link(2, late.SlavePath());
  Combo.showPopup();
  Combo.hidePopup();
  EXPECT_EQ(Texts(), (std::vector<QString>{"COM 1", "COM 2", "COM 3", "COM 4"}));
  EXPECT_EQ(Combo.currentText(), "COM 4");
  EXPECT_EQ(Combo.itemData(1, TAfPortComboBox::kDeviceRole).toString().toStdString(), late.SlavePath());
}

TEST_F(PortComboTest, ItemHeightFollowsTheFont) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(13);
  Combo.setFont(font);
  EXPECT_EQ(Combo.ItemHeight(), 18);
  font.setPixelSize(20);
  Combo.setFont(font);
  EXPECT_EQ(Combo.ItemHeight(), 25);
}

// Entries drawn as the list does: white background, black text.
class PortDrawTest : public PortComboTest {
 protected:
  QImage Draw(int Index, TOwnerDrawState State) {
    QImage image(260, 18, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter canvas(&image);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    canvas.setFont(font);
    const bool selected = State & OwnerDraw(odSelected);
    canvas.setBrush(selected ? clHighlight : clWindow);
    canvas.setPen(selected ? clHighlightText : clWindowText);
    Combo.DrawItem(&canvas, Index, QRect(0, 0, 260, 18), State);
    return image;
  }
  // The darkest grey level of the port name: black text reaches 0, grey text stops at its own grey.
  int Darkest(const QImage& Image) const {
    int darkest = 255;
    for (int y = 0; y < Image.height(); ++y)
      for (int x = 0; x < DeviceColumn(); ++x)
        darkest = std::min(darkest, qGray(Image.pixel(x, y)));
    return darkest;
  }
  int DeviceColumn() const {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    return 1 + QFontMetrics(font).horizontalAdvance(QStringLiteral("COM 888   "));
  }
};

TEST_F(PortDrawTest, BusyPortsAreGreyOnlyInTheUnselectedDroppedList) {
  Combo.UpdatePortList();
  const int busy = IndexOf("COM 3");
  EXPECT_LT(Darkest(Draw(busy, 0)), 0x30) << "black without pcHighlightOpen";

  Combo.SetOptions(PortCtlOption(pcCheckExist) | PortCtlOption(pcHighlightOpen));
  EXPECT_NEAR(Darkest(Draw(busy, 0)), clGrayText.red(), 8);
  EXPECT_LT(Darkest(Draw(busy, OwnerDraw(odComboBoxEdit))), 0x30);
  EXPECT_LT(Darkest(Draw(IndexOf("COM 1"), 0)), 0x30);
  const QImage selected = Draw(busy, OwnerDraw(odSelected));
  EXPECT_GT(test::CountColor(selected, selected.rect(), clHighlightText), 5)
      << "highlighted entries keep their colour";
}

TEST_F(PortDrawTest, DroppedListShowsTheDeviceBesideThePort) {
  Combo.UpdatePortList();
  const QRect device(DeviceColumn(), 0, 260 - DeviceColumn(), 18);
  EXPECT_GT(test::CountInk(Draw(0, 0), device, clWindow), 20);
  EXPECT_EQ(test::CountInk(Draw(0, OwnerDraw(odComboBoxEdit)), device, clWindow), 0);
  EXPECT_EQ(Combo.itemData(0, TAfPortComboBox::kDeviceRole).toString().toStdString(), PtyA.SlavePath());
}

}  // namespace
}  // namespace tarnel
