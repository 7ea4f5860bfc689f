#pragma once

#include <cstdio>
#include <initializer_list>
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

// Bytes from a list of values, for comparing with what crossed the line.
inline ByteString Bytes(std::initializer_list<int> Values) {
  ByteString bytes;
  for (int value : Values)
    bytes.push_back(static_cast<char>(value));
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
