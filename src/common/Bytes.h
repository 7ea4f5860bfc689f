#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ByteString.h"
#include "common/Exception.h"

namespace tarnel {

// Every multi-byte value on the line is big-endian: the high byte comes first.

inline uint8_t ByteAt(const ByteString& Bytes, std::size_t Offset) {
  return static_cast<uint8_t>(Bytes[Offset]);
}

// The 16-bit word at Offset and Offset + 1; the caller makes sure both bytes exist.
inline uint16_t WordAt(const ByteString& Bytes, std::size_t Offset) {
  return static_cast<uint16_t>(ByteAt(Bytes, Offset) << 8 | ByteAt(Bytes, Offset + 1));
}

inline void AppendWord(ByteString& Bytes, uint16_t Word) {
  Bytes += static_cast<char>(Word >> 8);
  Bytes += static_cast<char>(Word & 0xFF);
}

// Bytes -> "2A6100..." (upper case, no separators), the form logs use.
inline std::string HexOf(const ByteString& Bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(Bytes.size() * 2);
  for (unsigned char byte : Bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 0x0F];
  }
  return text;
}

// "01 80 00 fa" or "018000FA" -> bytes; white space anywhere is skipped. Throws tarnel::Exception on a bad
// digit or an odd digit count.
inline ByteString ParseHexBytes(const std::string& Text) {
  const auto digitOf = [](char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
  };
  ByteString out;
  int high = -1;
  for (char c : Text) {
    if (c == ' ' || (c >= '\t' && c <= '\r')) continue;
    const int digit = digitOf(c);
    if (digit < 0) throw Exception("not a hexadecimal digit in \"" + Text + "\"");
    if (high < 0) {
      high = digit;
    } else {
      out += static_cast<char>(high * 16 + digit);
      high = -1;
    }
  }
  if (high >= 0) throw Exception("odd number of hexadecimal digits in \"" + Text + "\"");
  return out;
}

}  // namespace tarnel
