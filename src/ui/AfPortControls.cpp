#include "ui/AfPortControls.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <algorithm>
#include <exception>

#include "serial/AfComPort.h"
#include "serial/AfPortInfo.h"
#include "serial/AfSafeSync.h"
#include "serial/ApplicationErrors.h"
#include "ui/DropDownStyle.h"
#include "ui/SystemColors.h"

namespace tarnel {
namespace {

constexpr int kTextInset = 1;

// What the dropped-down list shows after "COM n": the device, the adapter and the mark, two spaces apart.
QString DetailText(const QModelIndex& Index) {
  QStringList parts;
  for (int role : {TAfPortComboBox::kDeviceRole, TAfPortComboBox::kAdapterRole, TAfPortComboBox::kMarkRole}) {
    const QString part = Index.data(role).toString();
    if (!part.isEmpty()) parts << part;
  }
  return parts.join(QStringLiteral("  "));
}

uint32_t MakeWord(TAfPortState State, uint16_t N) {
  return (uint32_t{State} << 16) | N;
}

TAfPortState StateOf(TAfPortCondition Condition) {
  switch (Condition) {
    case TAfPortCondition::Free:
      return psFree;
    case TAfPortCondition::NotSerial:
    case TAfPortCondition::Missing:
      return psMissing;
    default:
      return psBusy;
  }
}

QString MarkOf(TAfPortCondition Condition) {
  switch (Condition) {
    case TAfPortCondition::OpenHere:
      return QStringLiteral("(open)");
    case TAfPortCondition::InUse:
      return QStringLiteral("(in use)");
    case TAfPortCondition::NoPermission:
      return QStringLiteral("(no permission)");
    default:
      return {};
  }
}

// Rows of the dropped-down list at the list's item height, each drawn by the list's DrawItem.
class TPortItemDelegate : public QStyledItemDelegate {
 public:
  explicit TPortItemDelegate(TAfPortComboBox* Combo) : QStyledItemDelegate(Combo), FCombo(Combo) {}

  void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    TOwnerDrawState state = 0;
    if (Option.state & QStyle::State_Selected) state |= OwnerDraw(odSelected);
    if (Option.state & QStyle::State_HasFocus) state |= OwnerDraw(odFocused);
    const bool selected = state & OwnerDraw(odSelected);
    Painter->save();
    Painter->setFont(FCombo->font());
    Painter->setBrush(selected ? clHighlight : FCombo->palette().color(QPalette::Base));
    Painter->setPen(selected ? clHighlightText : FCombo->palette().color(QPalette::Text));
    FCombo->DrawItem(Painter, Index.row(), Option.rect, state);
    Painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& Index) const override {
    const QFontMetrics metrics(FCombo->font());
    const int portWidth = metrics.horizontalAdvance(QStringLiteral("COM 888   ")) +
                          metrics.horizontalAdvance(DetailText(Index));
    const int width =
        kTextInset + std::max(portWidth, metrics.horizontalAdvance(Index.data().toString())) + 4;
    return {width, FCombo->ItemHeight()};
  }

 private:
  TAfPortComboBox* FCombo;
};

// What a Linux user recognises: the device a COM<n> entry of TARNEL_COM_DIR points at, or the device itself.
QString DeviceText(uint16_t N) {
  const QString path = QString::fromStdString(TAfPortInfo::ShownDeviceFile(N));
  if (path.isEmpty()) return {};
  const QFileInfo info(path);
  return info.isSymLink() ? info.symLinkTarget() : path;
}

// The adapter by its product, maker and serial number; by its USB ids when it names nothing else.
QString AdapterText(const TAfPortDescription& Adapter) {
  QString text = QString::fromStdString(Adapter.Description);
  if (text.isEmpty() && !Adapter.VidPid.empty()) text = QStringLiteral("USB %1").arg(Adapter.VidPid.c_str());
  if (!Adapter.SerialNumber.empty()) text += QStringLiteral(" %1").arg(Adapter.SerialNumber.c_str());
  return text.trimmed();
}

// The details that do not fit the row: the ids and the stable by-id name.
QString AdapterToolTip(const TAfPortDescription& Adapter) {
  QStringList lines;
  if (!Adapter.VidPid.empty()) lines << QStringLiteral("USB %1").arg(Adapter.VidPid.c_str());
  if (!Adapter.ById.empty()) lines << QString::fromStdString(Adapter.ById);
  return lines.join(QLatin1Char('\n'));
}

// Resumes painting when a rebuild ends, also by an exception.
class TUpdatesSuspended {
 public:
  explicit TUpdatesSuspended(QWidget* Widget) : FWidget(Widget), FWasEnabled(Widget->updatesEnabled()) {
    FWidget->setUpdatesEnabled(false);
  }
  ~TUpdatesSuspended() { FWidget->setUpdatesEnabled(FWasEnabled); }
  TUpdatesSuspended(const TUpdatesSuspended&) = delete;
  TUpdatesSuspended& operator=(const TUpdatesSuspended&) = delete;

 private:
  QWidget* FWidget;
  bool FWasEnabled;
};

}  // namespace

TAfPortComboBox::TAfPortComboBox(QWidget* Parent) : QComboBox(Parent) {
  UseDropDownList(this);
  setItemDelegate(new TPortItemDelegate(this));
  FItemHeight = QFontInfo(font()).pixelSize() + 5;
  // Only the user's pick opens a port. It is handled once the list has finished its own click handling,
  // because Change rebuilds the entries; a failure to open goes to the application's error display and
  // never unwinds through the toolkit.
  connect(
      this, &QComboBox::activated, this, [this](int) { Picked(); }, Qt::QueuedConnection);
}

void TAfPortComboBox::Picked() {
  const QPointer<TAfPortComboBox> self(this);
  Guarded([this] { Change(); });
  if (!self || !OnPortPicked) return;
  Guarded([this] { OnPortPicked(this); });
}

void TAfPortComboBox::SetComPort(TAfComPort* Value) {
  if (FComPort == Value) return;
  disconnect(FComPortGone);
  FComPort = Value;
  if (!FComPort) return;
  SetSelectedPort(FComPort->ComNumber());
  FComPortGone = connect(FComPort, &QObject::destroyed, this, [this] { FComPort = nullptr; });
}

void TAfPortComboBox::SetOptions(TAfPortCtlOptions Value) {
  if (FOptions == Value) return;
  FOptions = Value;
  if (FListCreated) UpdatePortList();
}

void TAfPortComboBox::SetMaxComPorts(int16_t Value) {
  if (FMaxComPorts == Value) return;
  FMaxComPorts = Value;
  if (FListCreated) UpdatePortList();
}

void TAfPortComboBox::SetSelectedPort(uint16_t Value) {
  if (FSelectedPort == Value) return;
  FSelectedPort = Value;
  SelectCurrentPort();
}

uint16_t TAfPortComboBox::ItemPortNumber(int Index) const {
  if (Index < 0 || Index >= count()) return 0;
  return static_cast<uint16_t>(itemData(Index, kWordRole).toUInt() & 0xFFFF);
}

uint32_t TAfPortComboBox::ProbePort(uint16_t N) {
  const auto state = static_cast<uint32_t>(TAfPortInfo::Probe(N));
  return (state << 16) | N;
}

// The port our own component holds is known to be busy and is left untouched.
TAfPortComboBox::TListedPort TAfPortComboBox::ProbeListedPort(uint16_t N) const {
  if (FComPort && FComPort->Active() && FComPort->ComNumber() == N)
    return {MakeWord(psBusy, N), MarkOf(TAfPortCondition::OpenHere)};
  const TAfPortCondition condition = TAfPortInfo::Inspect(N);
  return {MakeWord(StateOf(condition), N), MarkOf(condition)};
}

// Without it a technician would see an empty list and not know why.
void TAfPortComboBox::AddFolderNote() {
  const std::string problem = TAfPortInfo::ComDirProblem();
  if (problem.empty()) return;
  addItem(QString::fromStdString(problem), 0u);
  if (auto* items = qobject_cast<QStandardItemModel*>(model())) items->item(count() - 1)->setEnabled(false);
}

bool TAfPortComboBox::Listed(TAfPortState State) const {
  if (!(FOptions & PortCtlOption(pcCheckExist))) return true;
  if (FOptions & PortCtlOption(pcDisableOpen)) return State == psFree;
  return State == psBusy || State == psFree;
}

void TAfPortComboBox::UpdatePortList() {
  FListCreated = true;
  const TUpdatesSuspended suspended(this);
  const QSignalBlocker blocker(this);
  clear();
  for (int n = 1; n <= FMaxComPorts; ++n) {
    const TListedPort port = ProbeListedPort(static_cast<uint16_t>(n));
    if (!Listed(static_cast<TAfPortState>(port.Word >> 16))) continue;
    addItem(QStringLiteral("COM %1").arg(n), port.Word);
    setItemData(count() - 1, DeviceText(static_cast<uint16_t>(n)), kDeviceRole);
    setItemData(count() - 1, port.Mark, kMarkRole);
    const TAfPortDescription adapter = TAfPortInfo::Describe(n);
    setItemData(count() - 1, AdapterText(adapter), kAdapterRole);
    setItemData(count() - 1, AdapterToolTip(adapter), Qt::ToolTipRole);
  }
  if (count() == 0) AddFolderNote();
  // Adding the first entry selects it; the selection is SelectCurrentPort's business.
  setCurrentIndex(-1);
}

void TAfPortComboBox::SelectCurrentPort() {
  for (int i = 0; i < count(); ++i) {
    if (FSelectedPort != 0 && ItemPortNumber(i) == FSelectedPort) {
      setCurrentIndex(i);
      return;
    }
  }
  // A note in the list is no port to select.
  for (int i = 0; i < count(); ++i) {
    if (ItemPortNumber(i) != 0) {
      setCurrentIndex(i);
      FSelectedPort = ItemPortNumber(i);
      return;
    }
  }
  setCurrentIndex(-1);
  FSelectedPort = 0;
}

void TAfPortComboBox::Change() {
  FSelectedPort = ItemPortNumber(currentIndex());
  const QPointer<TAfPortComboBox> self(this);
  if (OnChange) OnChange(this);
  if (!self) return;
  std::exception_ptr failure;
  if (FComPort && FSelectedPort != 0) {
    try {
      FComPort->SetComNumber(FSelectedPort);
      // A port whose device went away is opened anew, not kept.
      if (FComPort && (!FComPort->Active() || FComPort->DeviceGone())) FComPort->Open();
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (self) {
    UpdatePortList();
    SelectCurrentPort();
  }
  if (failure) std::rethrow_exception(failure);
}

void TAfPortComboBox::DrawItem(QPainter* Canvas, int Index, const QRect& Rect, TOwnerDrawState State) const {
  Canvas->fillRect(Rect, Canvas->brush());
  const bool inList = !(State & OwnerDraw(odComboBoxEdit));
  const uint32_t word = itemData(Index, kWordRole).toUInt();
  if (word == 0) Canvas->setPen(clGrayText);  // a note, not a port
  if ((FOptions & PortCtlOption(pcHighlightOpen)) && inList && State == 0) {
    const auto state = static_cast<TAfPortState>(word >> 16);
    if (state == psBusy) Canvas->setPen(clGrayText);
    if (state == psFree) Canvas->setPen(clBtnText);
  }
  Canvas->save();
  Canvas->setClipRect(Rect);
  const QFontMetrics metrics(Canvas->font());
  const int x = Rect.x() + kTextInset;
  const int baseline = Rect.y() + kTextInset + metrics.ascent();
  Canvas->drawText(x, baseline, itemText(Index));
  const QString details = DetailText(model()->index(Index, modelColumn(), rootModelIndex()));
  if (inList && !details.isEmpty())
    Canvas->drawText(x + metrics.horizontalAdvance(QStringLiteral("COM 888   ")), baseline, details);
  Canvas->restore();
}

void TAfPortComboBox::showPopup() {
  UpdatePortList();
  RestoreSelection();
  QComboBox::showPopup();
}

// After a rebuild of its own, the list shows the port it showed before, if that is still there.
void TAfPortComboBox::RestoreSelection() {
  for (int i = 0; i < count(); ++i) {
    if (FSelectedPort != 0 && ItemPortNumber(i) == FSelectedPort) {
      setCurrentIndex(i);
      return;
    }
  }
}

bool TAfPortComboBox::event(QEvent* Event) {
  const bool handled = QComboBox::event(Event);
  if (Event->type() == QEvent::Polish && !FListCreated) UpdatePortList();
  return handled;
}

void TAfPortComboBox::changeEvent(QEvent* Event) {
  QComboBox::changeEvent(Event);
  if (Event->type() != QEvent::FontChange) return;
  FItemHeight = QFontInfo(font()).pixelSize() + 5;
  if (FListCreated) {
    UpdatePortList();
    RestoreSelection();
  }
}

}  // namespace tarnel
