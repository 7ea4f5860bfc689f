#include "cli/ProvisioningLog.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/Exception.h"

namespace tarnel::cli {

TJsonLine TProvisioningLog::NewRecord(const std::string& Command) {
  return TJsonLine().Add("time", UtcTimestamp()).Add("command", Command);
}

TProvisioningLog TProvisioningLog::FromOption(const std::string& Option) {
  if (!Option.empty()) return TProvisioningLog(Option);
  const char* fromEnvironment = std::getenv("TARNEL_LOG");
  return TProvisioningLog(fromEnvironment ? fromEnvironment : "");
}

namespace {

std::FILE* OpenForAppending(const std::string& Path) {
  std::FILE* file = std::fopen(Path.c_str(), "ab");
  if (!file) throw Exception("Cannot open the log " + Path + ": " + std::strerror(errno) + ".");
  return file;
}

}  // namespace

void TProvisioningLog::CheckWritable() const {
  if (Enabled()) std::fclose(OpenForAppending(FPath));
}

void TProvisioningLog::Append(const TJsonLine& Record) const {
  if (!Enabled()) return;
  const std::string text = Record.Text() + "\n";
  std::FILE* file = OpenForAppending(FPath);
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int error = errno;
  if (std::fclose(file) != 0 || !written)
    throw Exception("Cannot write to the log " + FPath + ": " + std::strerror(error) + ".");
}

std::string UtcTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace tarnel::cli
