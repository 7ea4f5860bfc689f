#include "sim/Line.h"

#include <gtest/gtest.h>

#include "../protocol/HexBytes.h"
#include "sim/Receiver.h"

namespace tarnel::sim {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using test::Hex;
using test::ToHex;

class LineScheduleTest : public ::testing::Test {
 protected:
  const TClock::time_point t0 = TClock::now();
  const TClock::duration charTime = CharTimeOf(9600);
  TLineSchedule line;
};

TEST_F(LineScheduleTest, CharacterTimeIsTenBitTimes) {
  EXPECT_EQ(std::chrono::duration_cast<microseconds>(CharTimeOf(9600)).count(), 1041);
  EXPECT_EQ(std::chrono::duration_cast<microseconds>(CharTimeOf(115200)).count(), 86);
}

TEST_F(LineScheduleTest, BytesLeaveOnlyWhenTheirTimeHasCome) {
  line.Add(1, PaceBytes(Hex("01 02 03"), t0, charTime), charTime);
  EXPECT_EQ(*line.NextAt(), t0);
  TWireChunk first = line.TakeDue(t0 + charTime);
  EXPECT_EQ(ToHex(first.Bytes), "01 02");
  EXPECT_TRUE(first.Finished.empty());
  TWireChunk rest = line.TakeDue(t0 + milliseconds(10));
  EXPECT_EQ(ToHex(rest.Bytes), "03");
  EXPECT_EQ(rest.Finished, std::vector<int>{1});
  EXPECT_TRUE(line.Idle());
}

TEST_F(LineScheduleTest, SplitAnswerLeavesAGap) {
  const auto paced = PaceBytes(Hex("01 02 03 04"), t0, charTime, 2, milliseconds(100));
  EXPECT_EQ(paced[1].At, t0 + charTime);
  EXPECT_EQ(paced[2].At, t0 + 2 * charTime + milliseconds(100));
}

TEST_F(LineScheduleTest, OverlappingBytesOfTwoDevicesArriveAsNoise) {
  line.Add(1, PaceBytes(Hex("2A 61 31"), t0, charTime), charTime);
  line.Add(2, PaceBytes(Hex("2A 61 32 0D"), t0 + microseconds(300), charTime), charTime);
  const TWireChunk chunk = line.TakeDue(t0 + milliseconds(50));
  EXPECT_EQ(ToHex(chunk.Bytes), "D5 9E CF 0D") << "the complement of each overlapping pair's AND";
  EXPECT_EQ(chunk.Collided, (std::vector<int>{1, 2}));
  EXPECT_EQ(chunk.Finished, (std::vector<int>{1, 2}));
}

TEST_F(LineScheduleTest, TransmissionsOneAfterAnotherStayIntact) {
  line.Add(1, PaceBytes(Hex("01 02"), t0, charTime), charTime);
  line.Add(2, PaceBytes(Hex("03 04"), t0 + 2 * charTime, charTime), charTime);
  const TWireChunk chunk = line.TakeDue(t0 + milliseconds(50));
  EXPECT_EQ(ToHex(chunk.Bytes), "01 02 03 04");
  EXPECT_TRUE(chunk.Collided.empty());
}

class RequestReceiverTest : public ::testing::Test {
 protected:
  const TClock::time_point t0 = TClock::now();
  TRequestReceiver receiver{milliseconds(50)};
  const ByteString find = Hex("2A 61 00 05 FE F3 F3 8B 0D");
};

TEST_F(RequestReceiverTest, PacketArrivingInPiecesIsHeardWhole) {
  EXPECT_TRUE(receiver.Feed(find.substr(0, 3), t0).empty());
  const auto heard = receiver.Feed(find.substr(3), t0 + milliseconds(5));
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_TRUE(heard[0].Packet);
  EXPECT_EQ(heard[0].Bytes, find);
  EXPECT_EQ(heard[0].At, t0);
}

TEST_F(RequestReceiverTest, NoiseBeforeAPacketIsSetApart) {
  const auto heard = receiver.Feed(Hex("00 FF 2A") + find, t0);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_FALSE(heard[0].Packet);
  EXPECT_EQ(ToHex(heard[0].Bytes), "00 FF 2A");
  EXPECT_EQ(heard[1].Bytes, find);
}

TEST_F(RequestReceiverTest, PacketWithABadChecksumDoesNotHideTheNextOne) {
  ByteString bad = find;
  bad[7] = 0x00;
  const auto heard = receiver.Feed(bad + find, t0);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_FALSE(heard[0].Packet);
  EXPECT_EQ(heard[1].Bytes, find);
}

TEST_F(RequestReceiverTest, IncompletePacketExpiresAfterTheQuietGap) {
  receiver.Feed(find.substr(0, 6), t0);
  EXPECT_TRUE(receiver.Expire(t0 + milliseconds(40)).empty());
  const auto heard = receiver.Feed(find, t0 + milliseconds(80));
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_FALSE(heard[0].Packet);
  EXPECT_EQ(heard[1].Bytes, find);
  EXPECT_FALSE(receiver.Pending());
}

}  // namespace
}  // namespace tarnel::sim
