#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

#include "common/ByteString.h"

namespace tarnel::test {

// "2A 61 00 05" -> the four bytes; keeps expected packets readable as they appear on the wire.
inline ByteString Hex(std::string_view text) {
  ByteString bytes;
  std::istringstream in{std::string(text)};
  std::string pair;
  while (in >> pair)
    bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
  return bytes;
}

// The reverse, for readable failure messages.
inline std::string ToHex(const ByteString& bytes) {
  std::string text;
  char pair[4];
  for (unsigned char byte : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", byte);
    if (!text.empty()) text += ' ';
    text += pair;
  }
  return text;
}

}  // namespace tarnel::test
