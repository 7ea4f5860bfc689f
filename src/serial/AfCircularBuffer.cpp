#include "serial/AfCircularBuffer.h"

#include <algorithm>
#include <cstring>

namespace tarnel {

TAfCircularBuffer::TAfCircularBuffer(int32_t Capacity)
    : FStorage(new uint8_t[std::max<int32_t>(Capacity, 0)]), FSize(std::max<int32_t>(Capacity, 0)) {
  Clear();
}

void TAfCircularBuffer::Clear() {
  FReadPos = 0;
  FWritePos = 0;
  FFull = false;
}

int32_t TAfCircularBuffer::Used() const {
  if (FFull) return FSize;
  if (FReadPos <= FWritePos) return FWritePos - FReadPos;
  return FWritePos + FSize - FReadPos;
}

int32_t TAfCircularBuffer::ContiguousUsed() const {
  if (FFull) return FSize - FReadPos;
  if (FReadPos <= FWritePos) return FWritePos - FReadPos;
  return FSize - FReadPos;
}

// Wraps exactly once; a position that reaches the end becomes 0.
int32_t TAfCircularBuffer::Advance(int32_t Position, int32_t Count) const {
  return Position + Count < FSize ? Position + Count : Position + Count - FSize;
}

bool TAfCircularBuffer::Remove(int32_t Count) {
  if (Count < 0 || Used() < Count) return false;
  FReadPos = Advance(FReadPos, Count);
  if (Count > 0) FFull = false;
  return true;
}

bool TAfCircularBuffer::Write(const void* Source, int32_t Count) {
  if (Count <= 0 || FreeSpace() < Count) return false;
  const auto* bytes = static_cast<const uint8_t*>(Source);
  if (FReadPos <= FWritePos) {
    const int32_t tail = FSize - FWritePos;
    if (Count <= tail) {
      std::memcpy(FStorage.get() + FWritePos, bytes, Count);
    } else {
      std::memcpy(FStorage.get() + FWritePos, bytes, tail);
      std::memcpy(FStorage.get(), bytes + tail, Count - tail);
    }
  } else {
    std::memcpy(FStorage.get() + FWritePos, bytes, Count);
  }
  FWritePos = Advance(FWritePos, Count);
  FFull = FReadPos == FWritePos;
  return true;
}

}  // namespace tarnel
