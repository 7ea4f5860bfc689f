#include "cli/CliPort.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <memory>

#include "cli/CliOutput.h"
#include "serial/AfPortInfo.h"

namespace tarnel::cli {
namespace {

std::string RealPath(const std::string& Path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(Path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

// "COM3", "com 3" or "3": the number; 0 when Port is not written that way.
int ComNumberInName(const std::string& Port) {
  size_t at = 0;
  if (Port.size() > 3 && std::toupper(static_cast<unsigned char>(Port[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(Port[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(Port[2])) == 'M')
    at = Port[3] == ' ' ? 4 : 3;
  if (at == Port.size() || Port.size() - at > 3) return 0;
  int number = 0;
  for (size_t i = at; i < Port.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(Port[i]))) return 0;
    number = number * 10 + (Port[i] - '0');
  }
  return number <= kHighestComNumber ? number : 0;
}

}  // namespace

int ComNumberOf(const std::string& Port) {
  if (const int number = ComNumberInName(Port)) return number;
  const std::string wanted = RealPath(Port);
  if (wanted.empty()) throw EPortError("There is no device " + Port + ".");
  for (int number = 1; number <= kHighestComNumber; ++number) {
    const std::string path = TAfPortInfo::DevicePath(number);
    if (!path.empty() && (path == Port || RealPath(path) == wanted)) return number;
  }
  throw EPortError(Port + " is no serial port of this machine's COM numbers (see tarnel ports); to use it, " +
                   "link it as COM<n> in a folder and name that folder in TARNEL_COM_DIR.");
}

TCliLine::TCliLine(const std::string& Port, int32_t Speed) {
  const int number = ComNumberOf(Port);
  if (const std::string problem = TAfPortInfo::ComDirProblem(); !problem.empty()) throw EPortError(problem);
  FPort.SetComNumber(static_cast<uint16_t>(number));
  FAdapter.SetSpeed(Speed);
  try {
    FPort.SetActive(true);
  } catch (const std::exception& e) {
    throw EPortError(OneLine(e.what()));
  }
}

std::string TCliLine::DevicePath() const {
  return TAfPortInfo::DevicePath(FPort.ComNumber());
}

}  // namespace tarnel::cli
