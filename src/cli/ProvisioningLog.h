#pragma once

#include <string>
#include <utility>

#include "common/JsonLine.h"

namespace tarnel::cli {

// The record of what commands wrote into devices: JSON lines appended to a file, never overwritten.
class TProvisioningLog {
 public:
  // Path empty: no record is kept. The file is opened for each record, so two programs may share it.
  explicit TProvisioningLog(std::string Path) : FPath(std::move(Path)) {}

  // --log FILE, else the environment's TARNEL_LOG, else none.
  static TProvisioningLog FromOption(const std::string& Option);

  bool Enabled() const { return !FPath.empty(); }
  const std::string& Path() const { return FPath; }

  // A record's start: the time ("time": UTC, ISO 8601) and the command.
  static TJsonLine NewRecord(const std::string& Command);

  // Throws Exception naming the file when it cannot be appended to, so a command learns it before it
  // changes a device.
  void CheckWritable() const;

  // Appends Record as one line and hands it to the system; throws Exception naming the file when that fails.
  void Append(const TJsonLine& Record) const;

 private:
  std::string FPath;
};

// The time now as "2026-12-09T13:05:01Z".
std::string UtcTimestamp();

}  // namespace tarnel::cli
