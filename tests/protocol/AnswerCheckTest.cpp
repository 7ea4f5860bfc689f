#include "protocol/AnswerCheck.h"

#include <gtest/gtest.h>

#include "HexBytes.h"
#include "protocol/Instructions.h"

namespace tarnel {
namespace {

using test::Hex;
using test::ToHex;

class AnswerCheckTest : public ::testing::Test {
 protected:
  const ByteString ok_ = BuildPacket97(0x31, 1, 0, Hex("48 52 57 3B"));
  const ByteString refused_ = BuildPacket97(0x31, 1, 3, "");
};

TEST_F(AnswerCheckTest, EmptyResultMeansNoAnswer) {
  EXPECT_EQ(CheckAnswer("").Status, TAnswerStatus::NoAnswer);
}

TEST_F(AnswerCheckTest, PacketMustStartAtTheFirstByte) {
  EXPECT_EQ(CheckAnswer('\0' + ok_).Status, TAnswerStatus::NoPacket);
  EXPECT_EQ(CheckAnswer(ok_.substr(0, ok_.size() - 1)).Status, TAnswerStatus::NoPacket);
  EXPECT_EQ(CheckAnswer("*a").Status, TAnswerStatus::NoPacket);
}

TEST_F(AnswerCheckTest, InvalidPacketIsNotSplit) {
  ByteString bad = ok_;
  bad[8] = static_cast<char>(bad[8] ^ 1);
  const TAnswer answer = CheckAnswer(bad);
  EXPECT_EQ(answer.Status, TAnswerStatus::Invalid);
  EXPECT_TRUE(answer.Packet.Data.empty());
  EXPECT_EQ(CheckAnswer(ByteString("*a\0\0", 4)).Status, TAnswerStatus::Invalid);
}

TEST_F(AnswerCheckTest, AcceptedAnswerCarriesItsFields) {
  const TAnswer answer = CheckAnswer(ok_);
  ASSERT_EQ(answer.Status, TAnswerStatus::Ok);
  EXPECT_EQ(answer.Packet.Address, 0x31);
  EXPECT_EQ(answer.Packet.Data, "HRW;");
}

TEST_F(AnswerCheckTest, TrailingBytesAreIgnoredAndTheFirstPacketCounts) {
  EXPECT_EQ(CheckAnswer(ok_ + "\xFF\x00").Status, TAnswerStatus::Ok);
  // An echo of the request ahead of the answer is what gets examined.
  const TAnswer echoed = CheckAnswer(refused_ + ok_);
  EXPECT_EQ(echoed.Status, TAnswerStatus::Refused);
}

TEST_F(AnswerCheckTest, NonZeroCodeIsARefusalUnlessNotExamined) {
  const TAnswer refused = CheckAnswer(refused_);
  EXPECT_EQ(refused.Status, TAnswerStatus::Refused);
  EXPECT_EQ(refused.Packet.Code, 3);
  EXPECT_EQ(CheckAnswer(refused_, false).Status, TAnswerStatus::Ok);
}

TEST_F(AnswerCheckTest, ValidButUnsplittablePacketRaisesTheParseError) {
  ByteString packet = Hex("2A 61 00 04 05 01");
  packet += static_cast<char>(PacketChecksum97(packet));
  packet += '\r';
  try {
    CheckAnswer(packet);
    FAIL() << "no error raised";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Incorrect PACKET (Tarnel format 97)!");
  }
}

// Which received bytes answer a request to "1": its echo and answers to something else are passed over.
class AnswerToRequestTest : public ::testing::Test {
 protected:
  const ByteString request_ = BuildInfoRequest(0x31);
  const ByteString answer_ = BuildPacket97(0x31, 1, 0, "HRW;hall");
};

TEST_F(AnswerToRequestTest, EchoAndForeignPacketsArePassedOver) {
  const ByteString fromA = BuildPacket97('A', 1, 0, "HRW;x"), from255 = BuildPacket97(255, 1, 0, "HRW;x");
  const ByteString valuesAnswer = BuildPacket97(0x31, 2, 0, Hex("01 80"));
  EXPECT_EQ(AnswerPart(request_.substr(0, 5), request_), "") << "the echo is still coming";
  for (const ByteString& foreign : {ByteString(), fromA, from255, valuesAnswer})
    EXPECT_EQ(CheckAnswer(request_ + foreign, request_).Status, TAnswerStatus::NoAnswer) << ToHex(foreign);
  EXPECT_EQ(AnswerPart(fromA + request_ + valuesAnswer + answer_, request_), answer_);
  // A universal request is answered by whichever address carries its tag.
  EXPECT_EQ(CheckAnswer(fromA, BuildFindDeviceRequest()).Status, TAnswerStatus::NoAnswer);
  EXPECT_EQ(CheckAnswer(BuildPacket97('A', 0xF3, 0, ""), BuildFindDeviceRequest()).Status, TAnswerStatus::Ok);
}

TEST_F(AnswerToRequestTest, DamageAndTrailingBytesAreReported) {
  ByteString bad = answer_;
  bad[8] = static_cast<char>(bad[8] ^ 1);
  EXPECT_EQ(CheckAnswer(request_ + bad, request_).Status, TAnswerStatus::Invalid);
  EXPECT_EQ(CheckAnswer('\xFF' + answer_, request_).Status, TAnswerStatus::NoPacket);
  EXPECT_FALSE(CheckAnswer(request_ + answer_, request_).MoreFollows);
  const TAnswer two = CheckAnswer(answer_ + BuildPacket97(0x32, 1, 0, "VKM7;y"), request_);
  EXPECT_EQ(two.Status, TAnswerStatus::Ok);
  EXPECT_TRUE(two.MoreFollows) << "a second device answered too";
}

}  // namespace
}  // namespace tarnel
