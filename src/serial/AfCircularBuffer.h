#pragma once

#include <cstdint>
#include <memory>

namespace tarnel {

// A fixed-capacity ring of bytes: the output queue of a port's write thread. The consumer never copies out:
// it writes ContiguousUsed bytes straight from ReadPointer and then drops them with Remove. No lock of its
// own; the port core's WriteLock guards every call.
class TAfCircularBuffer {
 public:
  explicit TAfCircularBuffer(int32_t Capacity);
  TAfCircularBuffer(const TAfCircularBuffer&) = delete;
  TAfCircularBuffer& operator=(const TAfCircularBuffer&) = delete;

  void Clear();
  int32_t Used() const;
  int32_t FreeSpace() const { return FSize - Used(); }
  int32_t ContiguousUsed() const;
  const uint8_t* ReadPointer() const { return FStorage.get() + FReadPos; }
  bool Remove(int32_t Count);                     // drops Count bytes from the front, or nothing
  bool Write(const void* Source, int32_t Count);  // appends all Count bytes, or nothing

  int32_t Size() const { return FSize; }
  int32_t ReadPos() const { return FReadPos; }
  int32_t WritePos() const { return FWritePos; }
  bool Full() const { return FFull; }

 private:
  int32_t Advance(int32_t Position, int32_t Count) const;

  std::unique_ptr<uint8_t[]> FStorage;
  int32_t FSize;
  int32_t FReadPos = 0;
  int32_t FWritePos = 0;
  bool FFull = false;
};

}  // namespace tarnel
