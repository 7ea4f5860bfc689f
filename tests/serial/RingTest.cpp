#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "serial/AfCircularBuffer.h"

namespace tarnel {
namespace {

std::string Bytes(int Count, char First = 'a') {
  std::string s;
  for (int i = 0; i < Count; ++i)
    s.push_back(static_cast<char>(First + i));
  return s;
}

class RingTest : public ::testing::Test {
 protected:
  TAfCircularBuffer Ring{8};

  // Moves both positions to Position with the ring empty.
  void EmptyAt(int Position) {
    if (Position == 0) return;
    ASSERT_TRUE(Ring.Write(Bytes(Position).data(), Position));
    ASSERT_TRUE(Ring.Remove(Position));
  }

  // What the consumer would send: the runs it is handed, in order, dropping each as it goes.
  std::string DrainByRuns() {
    std::string out;
    while (Ring.Used() > 0) {
      const int32_t run = Ring.ContiguousUsed();
      out.append(reinterpret_cast<const char*>(Ring.ReadPointer()), run);
      EXPECT_TRUE(Ring.Remove(run));
    }
    return out;
  }
};

TEST_F(RingTest, NewRingIsEmpty) {
  EXPECT_EQ(Ring.Used(), 0);
  EXPECT_EQ(Ring.FreeSpace(), 8);
  EXPECT_EQ(Ring.ContiguousUsed(), 0);
  EXPECT_FALSE(Ring.Full());
}

TEST_F(RingTest, WriteOfNothingOrNegativeStoresNothing) {
  EXPECT_FALSE(Ring.Write("x", 0));
  EXPECT_FALSE(Ring.Write("x", -3));
  EXPECT_EQ(Ring.Used(), 0);
  EXPECT_EQ(Ring.WritePos(), 0);
}

TEST_F(RingTest, WriteIsAllOrNothing) {
  ASSERT_TRUE(Ring.Write("abc", 3));
  EXPECT_FALSE(Ring.Write(Bytes(6).data(), 6));
  EXPECT_EQ(Ring.Used(), 3);
  EXPECT_EQ(Ring.WritePos(), 3);
  ASSERT_TRUE(Ring.Write(Bytes(5).data(), 5));
  EXPECT_TRUE(Ring.Full());
  EXPECT_EQ(Ring.Used(), 8);
  EXPECT_EQ(Ring.FreeSpace(), 0);
  EXPECT_FALSE(Ring.Write("z", 1));
  EXPECT_EQ(DrainByRuns(), "abcabcde");
}

TEST_F(RingTest, WrappedWriteSplitsAtTheEnd) {
  EmptyAt(6);
  EXPECT_EQ(Ring.ReadPos(), 6);
  ASSERT_TRUE(Ring.Write("VWXYZ", 5));
  EXPECT_EQ(Ring.WritePos(), 3);
  EXPECT_EQ(Ring.Used(), 5);
  EXPECT_EQ(Ring.ContiguousUsed(), 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Ring.ReadPointer()), 2), "VW");
  ASSERT_TRUE(Ring.Remove(2));
  EXPECT_EQ(Ring.ReadPos(), 0);
  EXPECT_EQ(Ring.ContiguousUsed(), 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Ring.ReadPointer()), 3), "XYZ");
}

TEST_F(RingTest, FullRingOffsetFromStart) {
  EmptyAt(5);
  ASSERT_TRUE(Ring.Write(Bytes(8).data(), 8));
  EXPECT_TRUE(Ring.Full());
  EXPECT_EQ(Ring.ReadPos(), 5);
  EXPECT_EQ(Ring.WritePos(), 5);
  EXPECT_EQ(Ring.ContiguousUsed(), 3);
  ASSERT_TRUE(Ring.Remove(3));
  EXPECT_EQ(Ring.ReadPos(), 0);
  EXPECT_FALSE(Ring.Full());
  EXPECT_EQ(Ring.ContiguousUsed(), 5);
  EXPECT_EQ(DrainByRuns(), "defgh");
}

TEST_F(RingTest, RemoveBeyondUsedChangesNothing) {
  ASSERT_TRUE(Ring.Write("abc", 3));
  EXPECT_FALSE(Ring.Remove(4));
  EXPECT_FALSE(Ring.Remove(-1));
  EXPECT_EQ(Ring.Used(), 3);
  EXPECT_EQ(Ring.ReadPos(), 0);
}

TEST_F(RingTest, RemoveOfNothingKeepsAFullRingFull) {
  ASSERT_TRUE(Ring.Write(Bytes(8).data(), 8));
  EXPECT_TRUE(Ring.Remove(0));
  EXPECT_TRUE(Ring.Full());
  EXPECT_EQ(Ring.Used(), 8);
}

TEST_F(RingTest, PositionsStayWhenEmptyAndClearResetsThem) {
  EmptyAt(7);
  EXPECT_EQ(Ring.Used(), 0);
  EXPECT_EQ(Ring.ReadPos(), 7);
  EXPECT_EQ(Ring.WritePos(), 7);
  ASSERT_TRUE(Ring.Write(Bytes(8).data(), 8));
  Ring.Clear();
  EXPECT_EQ(Ring.Used(), 0);
  EXPECT_EQ(Ring.FreeSpace(), 8);
  EXPECT_EQ(Ring.ReadPos(), 0);
  EXPECT_EQ(Ring.WritePos(), 0);
  EXPECT_FALSE(Ring.Full());
}

TEST_F(RingTest, ZeroCapacityRingTakesNothing) {
  TAfCircularBuffer empty(0);
  EXPECT_EQ(empty.FreeSpace(), 0);
  EXPECT_FALSE(empty.Write("a", 1));
  EXPECT_TRUE(empty.Remove(0));
}

// Random writes and partial removals against a plain queue: every byte comes out once, in order.
TEST_F(RingTest, RandomTrafficMatchesAQueue) {
  TAfCircularBuffer ring(61);
  std::mt19937 random(7);
  std::string expected;
  std::string sent;
  uint8_t next = 0;
  for (int step = 0; step < 20000; ++step) {
    std::vector<uint8_t> piece(random() % 40 + 1);
    for (uint8_t& b : piece)
      b = next++;
    const bool fits = ring.FreeSpace() >= static_cast<int32_t>(piece.size());
    ASSERT_EQ(ring.Write(piece.data(), static_cast<int32_t>(piece.size())), fits);
    if (fits)
      expected.append(piece.begin(), piece.end());
    else
      next -= static_cast<uint8_t>(piece.size());
    const int32_t run = ring.ContiguousUsed();
    ASSERT_LE(run, ring.Used());
    const int32_t take = run == 0 ? 0 : static_cast<int32_t>(random() % run) + 1;
    sent.append(reinterpret_cast<const char*>(ring.ReadPointer()), take);
    ASSERT_TRUE(ring.Remove(take));
    ASSERT_EQ(ring.Used() + static_cast<int32_t>(sent.size()), static_cast<int32_t>(expected.size()));
  }
  while (ring.Used() > 0) {
    const int32_t run = ring.ContiguousUsed();
    sent.append(reinterpret_cast<const char*>(ring.ReadPointer()), run);
    ring.Remove(run);
  }
  EXPECT_EQ(sent, expected);
}

}  // namespace
}  // namespace tarnel
