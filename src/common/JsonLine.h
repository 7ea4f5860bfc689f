#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnel {

// One JSON object on one line, built field by field in order: the format of the simulator's log and of the
// command line's records.
class TJsonLine {
 public:
  TJsonLine& Add(const std::string& Key, const std::string& Text);
  TJsonLine& Add(const std::string& Key, const char* Text) { return Add(Key, std::string(Text)); }
  TJsonLine& Add(const std::string& Key, int64_t Number);
  TJsonLine& Add(const std::string& Key, int Number) { return Add(Key, static_cast<int64_t>(Number)); }
  // The shortest text that reads back as the same double ("23.4375", "25"), whatever the locale; null when
  // it is not finite.
  TJsonLine& Add(const std::string& Key, double Number);
  TJsonLine& Add(const std::string& Key, bool Flag);
  TJsonLine& Add(const std::string& Key, const std::vector<int>& Numbers);
  TJsonLine& Add(const std::string& Key, const TJsonLine& Object);  // a nested object
  bool Empty() const { return FBody.empty(); }

  // The object, without a line end.
  std::string Text() const { return "{" + FBody + "}"; }

 private:
  void Key(const std::string& Key);

  std::string FBody;
};

// Text as a JSON string literal, quotes included; bytes that are not printable ASCII are escaped as \u00XX.
std::string JsonString(const std::string& Text);

}  // namespace tarnel
