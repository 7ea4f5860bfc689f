#include "sim/Receiver.h"

#include "protocol/Packet97.h"

namespace tarnel::sim {

namespace {

constexpr char PacketPrefix = PacketPrefix97;
constexpr char PacketFormat = PacketFormat97;
// No request of the tool comes near this; a longer claim is noise rather than a reason to wait.
constexpr size_t LargestRequest = 4096;

// How many leading bytes cannot begin a packet.
size_t LeadingNoise(const ByteString& Buffer) {
  if (Buffer.empty()) return 0;
  if (Buffer[0] != PacketPrefix) {
    const size_t next = Buffer.find(PacketPrefix);
    return next == ByteString::npos ? Buffer.size() : next;
  }
  if (Buffer.size() >= 2 && Buffer[1] != PacketFormat) return 1;
  return 0;
}

}  // namespace

std::vector<TReceived> TRequestReceiver::Feed(const ByteString& Chunk, TClock::time_point At) {
  std::vector<TReceived> out = Expire(At);
  if (Chunk.empty()) return out;
  if (FBuffer.empty()) FFirstAt = At;
  FBuffer += Chunk;
  FLastAt = At;
  Cut(out);
  return out;
}

std::vector<TReceived> TRequestReceiver::Expire(TClock::time_point Now) {
  std::vector<TReceived> out;
  if (!FBuffer.empty() && Now - FLastAt > FQuietGap) TakeNoise(out, FBuffer.size());
  return out;
}

std::optional<TClock::time_point> TRequestReceiver::ExpiresAt() const {
  if (FBuffer.empty()) return std::nullopt;
  return FLastAt + FQuietGap + std::chrono::microseconds(1);
}

void TRequestReceiver::Cut(std::vector<TReceived>& Out) {
  while (!FBuffer.empty()) {
    const size_t noise = LeadingNoise(FBuffer);
    if (noise > 0) {
      TakeNoise(Out, noise);
      continue;
    }
    const size_t length = AnnouncedPacketSize97(FBuffer);
    if (length == 0) return;  // the length field has not come yet
    if (length < MinPacketSize97 || length > LargestRequest) {
      TakeNoise(Out, 1);
      continue;
    }
    if (FBuffer.size() < length) return;
    if (CheckPacket97(FBuffer.substr(0, length)) != 0) {
      TakeNoise(Out, 1);
      continue;
    }
    Out.push_back({FFirstAt, FBuffer.substr(0, length), true});
    FBuffer.erase(0, length);
    FFirstAt = FLastAt;
  }
}

// Noise runs are merged, so a burst of garbage is one record rather than one per byte.
void TRequestReceiver::TakeNoise(std::vector<TReceived>& Out, size_t Count) {
  if (!Out.empty() && !Out.back().Packet)
    Out.back().Bytes += FBuffer.substr(0, Count);
  else
    Out.push_back({FFirstAt, FBuffer.substr(0, Count), false});
  FBuffer.erase(0, Count);
  FFirstAt = FLastAt;
}

}  // namespace tarnel::sim
