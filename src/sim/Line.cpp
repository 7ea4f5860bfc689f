#include "sim/Line.h"

#include <algorithm>

namespace tarnel::sim {

namespace {

TClock::duration AbsDiff(TClock::time_point A, TClock::time_point B) {
  return A > B ? A - B : B - A;
}

bool Contains(const std::vector<int>& Ids, int Id) {
  return std::find(Ids.begin(), Ids.end(), Id) != Ids.end();
}

void AddOnce(std::vector<int>& Ids, int Id) {
  if (!Contains(Ids, Id)) Ids.push_back(Id);
}

}  // namespace

TClock::duration CharTimeOf(int32_t Speed) {
  if (Speed <= 0) return std::chrono::milliseconds(10);
  return std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(10.0 / Speed));
}

std::vector<TTimedByte> PaceBytes(const ByteString& Bytes, TClock::time_point Start,
                                  TClock::duration CharTime, size_t GapBefore, TClock::duration Gap) {
  std::vector<TTimedByte> paced;
  paced.reserve(Bytes.size());
  TClock::time_point at = Start;
  for (size_t i = 0; i < Bytes.size(); ++i) {
    if (i == GapBefore && i > 0) at += Gap;
    paced.push_back({at, static_cast<uint8_t>(Bytes[i])});
    at += CharTime;
  }
  return paced;
}

uint8_t TLineSchedule::TSlot::WireByte() const {
  return Senders.size() > 1 ? static_cast<uint8_t>(~WiredAnd) : WiredAnd;
}

void TLineSchedule::Add(int Id, const std::vector<TTimedByte>& Bytes, TClock::duration CharTime) {
  if (Bytes.empty()) {
    Insert(TSlot{TClock::time_point{}, 0xFF, {}, {Id}});
    return;
  }
  for (size_t i = 0; i < Bytes.size(); ++i) {
    const TTimedByte& byte = Bytes[i];
    const bool last = i + 1 == Bytes.size();
    TSlot* slot = OverlappingSlot(Id, byte.At, CharTime);
    if (slot == nullptr) {
      Insert(TSlot{byte.At, byte.Byte, {Id}, last ? std::vector<int>{Id} : std::vector<int>{}});
      continue;
    }
    slot->WiredAnd &= byte.Byte;
    slot->Senders.push_back(Id);
    if (last) slot->Ending.push_back(Id);
  }
}

std::optional<TClock::time_point> TLineSchedule::NextAt() const {
  if (FSlots.empty()) return std::nullopt;
  return FSlots.front().At;
}

TWireChunk TLineSchedule::TakeDue(TClock::time_point Now) {
  TWireChunk chunk;
  while (!FSlots.empty() && FSlots.front().At <= Now) {
    const TSlot& slot = FSlots.front();
    if (!slot.Senders.empty()) chunk.Bytes += static_cast<char>(slot.WireByte());
    if (slot.Senders.size() > 1)
      for (int id : slot.Senders)
        AddOnce(chunk.Collided, id);
    for (int id : slot.Ending)
      chunk.Finished.push_back(id);
    FSlots.pop_front();
  }
  return chunk;
}

// The nearest scheduled byte of another transmission that the new byte would overlap on the wire.
TLineSchedule::TSlot* TLineSchedule::OverlappingSlot(int Id, TClock::time_point At,
                                                     TClock::duration CharTime) {
  auto slot = std::lower_bound(FSlots.begin(), FSlots.end(), At - CharTime,
                               [](const TSlot& Other, TClock::time_point From) { return Other.At <= From; });
  TSlot* best = nullptr;
  for (; slot != FSlots.end() && slot->At < At + CharTime; ++slot) {
    if (slot->Senders.empty() || Contains(slot->Senders, Id)) continue;
    if (best == nullptr || AbsDiff(slot->At, At) < AbsDiff(best->At, At)) best = &*slot;
  }
  return best;
}

void TLineSchedule::Insert(TSlot Slot) {
  auto place = std::upper_bound(FSlots.begin(), FSlots.end(), Slot.At,
                                [](TClock::time_point At, const TSlot& Other) { return At < Other.At; });
  FSlots.insert(place, std::move(Slot));
}

}  // namespace tarnel::sim
