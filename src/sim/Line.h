#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "common/ByteString.h"

namespace tarnel::sim {

using TClock = std::chrono::steady_clock;

// One byte of a transmission and the moment it starts on the line.
struct TTimedByte {
  TClock::time_point At;
  uint8_t Byte = 0;
};

// Ten bit times: start bit, eight data bits, stop bit.
TClock::duration CharTimeOf(int32_t Speed);

// Bytes one after another, each CharTime after the one before, from Start on. When Gap is positive the
// bytes from index GapBefore on start Gap later (an answer split in two).
std::vector<TTimedByte> PaceBytes(const ByteString& Bytes, TClock::time_point Start,
                                  TClock::duration CharTime, size_t GapBefore = 0, TClock::duration Gap = {});

// What leaves the line at one moment: the bytes, which transmissions sent their last byte, and which
// transmissions lost a byte to another one sent at the same time.
struct TWireChunk {
  ByteString Bytes;
  std::vector<int> Finished;
  std::vector<int> Collided;
};

// The shared line of the simulated devices: a time-ordered schedule of the bytes they send. Two bytes whose
// times are less than one character time apart overlap on the wire; the port then receives noise, modelled
// as the complement of the bytes' wired AND, which never passes as the byte either device sent when both
// sent the same.
class TLineSchedule {
 public:
  // Schedules the bytes of transmission Id (ids are the caller's, unique while scheduled). An empty list
  // finishes at once on the next TakeDue.
  void Add(int Id, const std::vector<TTimedByte>& Bytes, TClock::duration CharTime);

  // When the next byte is due; empty while nothing is scheduled.
  std::optional<TClock::time_point> NextAt() const;

  // Takes every byte due at Now.
  TWireChunk TakeDue(TClock::time_point Now);

  bool Idle() const { return FSlots.empty(); }

 private:
  struct TSlot {
    TClock::time_point At;
    uint8_t WiredAnd = 0xFF;
    std::vector<int> Senders;
    std::vector<int> Ending;  // transmissions whose last byte this is
    uint8_t WireByte() const;
  };

  TSlot* OverlappingSlot(int Id, TClock::time_point At, TClock::duration CharTime);
  void Insert(TSlot Slot);

  std::deque<TSlot> FSlots;  // ordered by At
};

}  // namespace tarnel::sim
