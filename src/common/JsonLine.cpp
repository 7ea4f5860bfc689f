#include "common/JsonLine.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tarnel {

std::string JsonString(const std::string& Text) {
  std::string out = "\"";
  for (unsigned char c : Text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void TJsonLine::Key(const std::string& Key) {
  if (!FBody.empty()) FBody += ',';
  FBody += JsonString(Key) + ':';
}

TJsonLine& TJsonLine::Add(const std::string& Key, const std::string& Text) {
  this->Key(Key);
  FBody += JsonString(Text);
  return *this;
}

TJsonLine& TJsonLine::Add(const std::string& Key, int64_t Number) {
  this->Key(Key);
  FBody += std::to_string(Number);
  return *this;
}

TJsonLine& TJsonLine::Add(const std::string& Key, double Number) {
  this->Key(Key);
  if (!std::isfinite(Number)) {
    FBody += "null";
    return *this;
  }
  // The shortest text that reads back as the same double, in every locale: a VKM7 temperature in steps
  // of 1/32 keeps all its digits, and a whole number is written without a fraction.
  char text[32];
  const std::to_chars_result written = std::to_chars(text, text + sizeof text, Number);
  FBody.append(text, written.ptr);
  return *this;
}

TJsonLine& TJsonLine::Add(const std::string& Key, bool Flag) {
  this->Key(Key);
  FBody += Flag ? "true" : "false";
  return *this;
}

TJsonLine& TJsonLine::Add(const std::string& Key, const std::vector<int>& Numbers) {
  this->Key(Key);
  FBody += '[';
  for (size_t i = 0; i < Numbers.size(); ++i) {
    if (i > 0) FBody += ',';
    FBody += std::to_string(Numbers[i]);
  }
  FBody += ']';
  return *this;
}

TJsonLine& TJsonLine::Add(const std::string& Key, const TJsonLine& Object) {
  this->Key(Key);
  FBody += Object.Text();
  return *this;
}

}  // namespace tarnel
