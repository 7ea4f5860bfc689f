#include "cli/CliOutput.h"

#include "engine/ValueLog.h"

namespace tarnel::cli {

void TOutput::Text(const std::string& Line) {
  if (FJson) return;
  std::fprintf(FOut, "%s\n", Line.c_str());
  std::fflush(FOut);
}

void TOutput::Object(const TJsonLine& Object) {
  if (!FJson) return;
  std::fprintf(FOut, "%s\n", Object.Text().c_str());
  std::fflush(FOut);
}

namespace {

std::string HexByte(uint8_t Value) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", Value);
  return hex;
}

}  // namespace

bool IsPrintableAscii(uint8_t Code) {
  return Code >= 0x20 && Code < 0x7F;
}

std::string AddressText(uint8_t Address) {
  std::string text = std::to_string(Address) + " (" + HexByte(Address);
  if (IsPrintableAscii(Address)) text += ", \"" + AddressCharacter(Address) + "\"";
  return text + ")";
}

std::string WithPrintableAddress(const std::string& LogLine, uint8_t Address) {
  if (IsPrintableAscii(Address)) return LogLine;
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about a "literal" + string chain here.
  const std::string quoted = std::string("\"").append(AddressCharacter(Address)).append("\"");
  const size_t at = LogLine.find(quoted);
  if (at == std::string::npos) return LogLine;
  return LogLine.substr(0, at) + AddressText(Address) + LogLine.substr(at + quoted.size());
}

TJsonLine& AddAddress(TJsonLine& Object, uint8_t Address, const std::string& Key) {
  return Object.Add(Key, static_cast<int>(Address))
      .Add(Key + "_hex", HexByte(Address))
      .Add(Key + "_char", std::string(1, static_cast<char>(Address)));
}

std::string OneLine(const std::string& Message) {
  std::string line;
  size_t from = 0;
  while (from <= Message.size()) {
    size_t end = Message.find('\n', from);
    if (end == std::string::npos) end = Message.size();
    const std::string part = Message.substr(from, end - from);
    if (!part.empty()) line += (line.empty() ? "" : (line.back() == '.' ? " " : ": ")) + part;
    from = end + 1;
  }
  return line;
}

}  // namespace tarnel::cli
