#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "common/ByteString.h"
#include "sim/Line.h"

namespace tarnel::sim {

// A run of bytes the devices heard: one complete valid packet, or noise that formed none.
struct TReceived {
  TClock::time_point At;  // arrival of its first byte
  ByteString Bytes;
  bool Packet = false;
};

// Cuts the byte stream the tool sends into request packets, as a device's receiver does: bytes before a
// packet start, and packets that fail their check, are noise; a started packet that stays incomplete for
// longer than the quiet gap is dropped as noise too, so one lost byte cannot stall the line.
class TRequestReceiver {
 public:
  explicit TRequestReceiver(TClock::duration QuietGap = std::chrono::milliseconds(50))
      : FQuietGap(QuietGap) {}

  // Adds bytes that arrived at At; returns the packets and noise they completed, in order.
  std::vector<TReceived> Feed(const ByteString& Chunk, TClock::time_point At);

  // Pending bytes become noise when the line has been quiet past the gap.
  std::vector<TReceived> Expire(TClock::time_point Now);

  // When Expire has something to do; empty while nothing is pending.
  std::optional<TClock::time_point> ExpiresAt() const;

  bool Pending() const { return !FBuffer.empty(); }

 private:
  void Cut(std::vector<TReceived>& Out);
  void TakeNoise(std::vector<TReceived>& Out, size_t Count);

  TClock::duration FQuietGap;
  ByteString FBuffer;
  TClock::time_point FFirstAt;  // arrival of the first pending byte
  TClock::time_point FLastAt;   // arrival of the latest byte
};

}  // namespace tarnel::sim
