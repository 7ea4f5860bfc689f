#pragma once

#include <string>

namespace tarnel {

// A counted 8-bit byte string; it may hold zero bytes. Every packet, request, answer and data field is one.
using ByteString = std::string;

}  // namespace tarnel
