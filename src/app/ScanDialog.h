#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <optional>
#include <vector>

#include "engine/DeviceSearch.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;

namespace tarnel {

class TAfComPort;

// The result table's column titles, as the table, the clipboard and the CSV file show them.
QStringList ScanColumnTitles();
// One finding as the table's cells: the address as the window's address lists show it (the character when
// it is visible, decimal, hexadecimal), the speed, the status, the family of its model and the INFO text.
QStringList ScanRowCells(const TFinding& Finding);
// The table as tab-separated lines, titles first (tabs and line breaks inside a cell become spaces).
QString ScanRowsAsTabText(const std::vector<TFinding>& Findings);
// The table as CSV, titles first: comma-separated, a cell with a comma, a quote, a line break or an outer
// space quoted and its quotes doubled, lines ended by CR LF.
QString ScanRowsAsCsv(const std::vector<TFinding>& Findings);

// "Scan line…": asks every address of a range at one or every device speed with the engine's ScanLine and
// lists what answered as it answers.
//
// The exchanges run on the UI thread, as all of the window's do. Between two questions (ScanLine's Progress)
// the dialog processes pending events, so its own Stop, Esc and close are taken and every window repaints;
// the main window takes no input meanwhile, as the dialog is modal. Everything that could re-enter is
// settled there: Start does nothing while a scan runs; Stop, Esc, closing and choosing a device only set the
// cancel flag (and what to do once the scan is over), so the scan ends before the next question and the
// dialog closes only after ScanLine has returned; a port that closes (or is lost) cancels it as well.
class TScanDialog : public QDialog {
 public:
  explicit TScanDialog(TAfComPort* Port, QWidget* Parent = nullptr);
  ~TScanDialog() override;

  // What Start would ask, from the dialog's settings and the port's speed.
  TScanPlan Plan() const;
  bool Scanning() const { return FScanning; }
  // The found devices in table order.
  const std::vector<TFinding>& Findings() const { return FFindings; }
  // The row the user chose with "Use this device" or a double click; none when the dialog was closed.
  const std::optional<TFinding>& Chosen() const { return FChosen; }

  // Ends a running scan before its next question and closes the dialog once it has ended; closes it at
  // once when none runs.
  void CloseWhenIdle();
  void reject() override;

  QRadioButton *rbAllSpeeds, *rbPortSpeed, *rbAllAddresses, *rbAddressRange;
  QSpinBox *seFirstAddress, *seLastAddress, *seTimeout;
  QPushButton *bStart, *bStop, *bUse, *bCopy, *bSave, *bClose;
  QProgressBar* pbProgress;
  QLabel* lStatus;
  QTableWidget* tFound;

  // Writes the table as CSV to Path; a message box says why when it cannot.
  bool SaveCsv(const QString& Path);

 private:
  enum class TAfterScan { Nothing, Close, Use };

  void BuildControls();
  void StartClick();
  void StopClick();
  void UseClick();
  void CopyClick();
  void SaveClick();
  void Choose(int Row);
  void RunScan(const TScanPlan& Plan);
  void AddRow(const TFinding& Finding);
  void ShowProgress(const TScanProgress& Step);
  void ShowSummary(const TScanPlan& Plan, bool Cancelled, bool Failed);
  void UpdateControls();
  void FinishAfterScan();

  TAfComPort* FPort;
  std::vector<TFinding> FFindings;
  std::optional<TFinding> FChosen;
  std::atomic<bool> FCancel{false};
  bool FScanning = false;
  TAfterScan FAfterScan = TAfterScan::Nothing;
  size_t FAsked = 0;  // questions answered or timed out so far in this scan
  QElapsedTimer FClock;
};

}  // namespace tarnel
