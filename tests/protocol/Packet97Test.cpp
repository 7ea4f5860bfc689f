#include "protocol/Packet97.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "HexBytes.h"

namespace tarnel {
namespace {

using test::Hex;
using test::ToHex;

const ByteString FindRequest = Hex("2A 61 00 05 FE F3 F3 8B 0D");
const ByteString SetSpeedRequest = Hex("2A 61 00 07 31 01 E0 32 06 23 0D");

// Runs Parse into Out and returns the message of the tarnel::Exception it raised ("" when none).
std::string ParseFailure(const ByteString& packet, TTarnelFormat97& out) {
  try {
    ParsePacket97(packet, out);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

// A packet whose length field matches its size, filled with a fixed byte; checksum and terminator are wrong.
ByteString HeaderOnlyPacket(std::size_t size) {
  ByteString packet(size, '\x11');
  packet[0] = '*';
  packet[1] = 'a';
  packet[2] = static_cast<char>((size - 4) >> 8);
  packet[3] = static_cast<char>((size - 4) & 0xFF);
  return packet;
}

class PacketChecksumTest : public ::testing::Test {};

TEST_F(PacketChecksumTest, CoversEveryByteBeforeIt) {
  EXPECT_EQ(PacketChecksum97(""), 255);
  EXPECT_EQ(PacketChecksum97(Hex("2A 61 00 05 FE F3 F3")), 0x8B);
  EXPECT_EQ(PacketChecksum97(Hex("FF 01")), 255);  // the sum wraps modulo 256
}

TEST_F(PacketChecksumTest, RefusesMoreThan65535Bytes) {
  EXPECT_EQ(PacketChecksum97(ByteString(65535, '\x01')), static_cast<uint8_t>(255 - (65535 % 256)));
  EXPECT_THROW(PacketChecksum97(ByteString(65536, '\x01')), std::out_of_range);
}

class BuildPacketTest : public ::testing::Test {};

TEST_F(BuildPacketTest, MatchesTheWireExamples) {
  EXPECT_EQ(ToHex(BuildUniversalRequest97(0xF3, "")), ToHex(FindRequest));
  EXPECT_EQ(ToHex(BuildPacket97(0x31, 1, 0xE0, Hex("32 06"))), ToHex(SetSpeedRequest));
}

TEST_F(BuildPacketTest, EmptyDataGivesNineBytesWithLengthFive) {
  const ByteString packet = BuildPacket97(7, 1, 0xE4, "");
  ASSERT_EQ(packet.size(), 9u);
  EXPECT_EQ(ToHex(packet.substr(2, 2)), "00 05");
  EXPECT_EQ(packet.back(), '\r');
}

TEST_F(BuildPacketTest, KeepsZeroBytesOfTheData) {
  const ByteString data("\0\0\x05\0", 4);
  const ByteString packet = BuildPacket97(0, 0, 0, data);
  EXPECT_EQ(packet.substr(7, 4), data);
  EXPECT_EQ(CheckPacket97(packet), 0);
}

TEST_F(BuildPacketTest, LargestDataIs65528Bytes) {
  const ByteString packet = BuildPacket97(1, 2, 3, ByteString(65528, '\x5A'));
  EXPECT_EQ(packet.size(), 65537u);
  EXPECT_EQ(ToHex(packet.substr(2, 2)), "FF FD");
  EXPECT_EQ(CheckPacket97(packet), 0);
  EXPECT_THROW(BuildPacket97(1, 2, 3, ByteString(65529, '\x5A')), std::out_of_range);
  EXPECT_THROW(BuildPacket97(1, 2, 3, ByteString(65531, '\x5A')),
               std::out_of_range);  // length field overflows
}

class CheckPacketTest : public ::testing::Test {};

TEST_F(CheckPacketTest, AcceptsBuiltPackets) {
  EXPECT_EQ(CheckPacket97(FindRequest), 0);
  EXPECT_EQ(CheckPacket97(SetSpeedRequest), 0);
}

TEST_F(CheckPacketTest, ReportsTheFirstFailedTest) {
  EXPECT_EQ(CheckPacket97(""), 1);
  EXPECT_EQ(CheckPacket97(FindRequest.substr(0, 7)), 1);
  EXPECT_EQ(CheckPacket97(FindRequest + '\r'), 4);
  EXPECT_EQ(CheckPacket97('*' + FindRequest), 3);  // a stray byte before the packet
  ByteString noTerminator = FindRequest;
  noTerminator.back() = '\n';
  EXPECT_EQ(CheckPacket97(noTerminator), 6);
  ByteString badBoth = noTerminator;
  badBoth[7] = 0;
  EXPECT_EQ(CheckPacket97(badBoth), 5);  // the checksum is tested before the terminator
}

TEST_F(CheckPacketTest, EveryChangedByteOfTheFindRequestIsCaught) {
  for (std::size_t offset = 0; offset < FindRequest.size(); ++offset) {
    ByteString changed = FindRequest;
    changed[offset] = static_cast<char>(changed[offset] ^ 0x40);
    const uint16_t expected = offset == 0 ? 2 : offset == 1 ? 3 : offset <= 3 ? 4 : offset == 8 ? 6 : 5;
    EXPECT_EQ(CheckPacket97(changed), expected) << "offset " << offset;
  }
}

TEST_F(CheckPacketTest, AcceptsTheEightBytePacketWithoutCode) {
  ByteString packet = Hex("2A 61 00 04 05 01");
  packet += static_cast<char>(PacketChecksum97(packet));
  packet += '\r';
  EXPECT_EQ(CheckPacket97(packet), 0);
}

TEST_F(CheckPacketTest, OverlongStringsAreRejectedWithoutThrowing) {
  EXPECT_EQ(CheckPacket97(HeaderOnlyPacket(65539 + 1)), 4);  // no 16-bit length can describe it
  // Length fields FF FE and FF FF: the checksummed part is longer than any checksum covers, so no such
  // packet can have been built; it must be refused rather than abort the exchange that received it.
  EXPECT_EQ(CheckPacket97(HeaderOnlyPacket(65538)), 5);
  EXPECT_EQ(CheckPacket97(HeaderOnlyPacket(65539)), 5);
}

class ParsePacketTest : public ::testing::Test {
 protected:
  TTarnelFormat97 record_;
};

TEST_F(ParsePacketTest, SplitsEveryField) {
  const TTarnelFormat97 r = ParsePacket97(SetSpeedRequest);
  EXPECT_EQ(r.Prefix, 0x2A);
  EXPECT_EQ(r.Format, 0x61);
  EXPECT_EQ(r.Length, 7);
  EXPECT_EQ(r.Address, 0x31);
  EXPECT_EQ(r.Tag, 1);
  EXPECT_EQ(r.Code, 0xE0);
  EXPECT_EQ(ToHex(r.Data), "32 06");
  EXPECT_EQ(r.Checksum, 0x23);
  EXPECT_EQ(r.Terminator, 0x0D);
}

TEST_F(ParsePacketTest, ValidatesNothingThatCheckPacketTests) {
  const TTarnelFormat97 r = ParsePacket97(Hex("00 00 00 05 01 02 03 04 05"));
  EXPECT_EQ(r.Prefix, 0);
  EXPECT_EQ(r.Checksum, 4);
  EXPECT_EQ(r.Terminator, 5);
}

TEST_F(ParsePacketTest, LengthBelowFiveGivesEmptyDataAndEarlyOffsets) {
  const TTarnelFormat97 r = ParsePacket97(Hex("2A 61 00 00 01 02 03 04 05"));
  EXPECT_TRUE(r.Data.empty());
  EXPECT_EQ(r.Checksum, 0x00);    // offset 2
  EXPECT_EQ(r.Terminator, 0x00);  // offset 3
}

TEST_F(ParsePacketTest, EightBytePacketIsTooShortToSplit) {
  record_.Terminator = 0x0D;
  record_.Address = 99;
  EXPECT_EQ(ParseFailure(Hex("2A 61 00 04 05 01 6A 0D"), record_), "Incorrect PACKET (Tarnel format 97)!");
  EXPECT_EQ(record_.Terminator, 0);
  EXPECT_EQ(record_.Address, 99);  // nothing else was stored
}

TEST_F(ParsePacketTest, TerminatorBeyondTheStringFailsAndKeepsStoredFields) {
  record_.Terminator = 0x0D;
  // Length claims 6: one data byte, checksum at offset 8, terminator at offset 9 of a 9-byte string.
  EXPECT_EQ(ParseFailure(Hex("2A 61 00 06 07 01 00 AA BB"), record_), "Incorrect PACKET (Tarnel format 97)!");
  EXPECT_EQ(record_.Length, 6);
  EXPECT_EQ(record_.Address, 7);
  EXPECT_EQ(ToHex(record_.Data), "AA");
  EXPECT_EQ(record_.Checksum, 0xBB);
  EXPECT_EQ(record_.Terminator, 0);
}

TEST_F(ParsePacketTest, DataIsCutAtTheEndOfTheString) {
  EXPECT_EQ(ParseFailure(Hex("2A 61 01 00 07 01 00 AA BB CC"), record_),
            "Incorrect PACKET (Tarnel format 97)!");
  EXPECT_EQ(ToHex(record_.Data), "AA BB CC");
}

TEST_F(ParsePacketTest, ByValueFormThrowsTheSameError) {
  EXPECT_THROW(ParsePacket97(""), Exception);
  EXPECT_THROW(ParsePacket97(Hex("2A 61 00 06 07 01 00 AA BB")), Exception);
}

class ExtractPacketTest : public ::testing::Test {};

TEST_F(ExtractPacketTest, NeverSkipsALeadingByte) {
  ByteString buffer = '\0' + FindRequest;
  const ByteString before = buffer;
  EXPECT_EQ(ExtractPacket97(buffer, true), "");
  EXPECT_EQ(buffer, before);
}

TEST_F(ExtractPacketTest, TakesTheFirstOfTwoPackets) {
  const ByteString start = SetSpeedRequest.substr(0, 5);
  ByteString buffer = FindRequest + start;
  EXPECT_EQ(ExtractPacket97(buffer, false), FindRequest);
  EXPECT_EQ(buffer, FindRequest + start);
  EXPECT_EQ(ExtractPacket97(buffer, true), FindRequest);
  EXPECT_EQ(buffer, start);
  EXPECT_EQ(ExtractPacket97(buffer, true), "");  // incomplete
  EXPECT_EQ(buffer, start);
}

TEST_F(ExtractPacketTest, NeedsTheFullHeader) {
  ByteString buffer("*a\0", 3);
  EXPECT_EQ(ExtractPacket97(buffer, true), "");
  buffer = "*b" + ByteString(10, '\0');
  EXPECT_EQ(ExtractPacket97(buffer, true), "");
  EXPECT_EQ(buffer.size(), 12u);
}

// The rule a device's receiver cuts requests by, too: prefix and format are left to the caller.
TEST_F(ExtractPacketTest, AnnouncedSizeIsTheLengthFieldPlusFour) {
  EXPECT_EQ(AnnouncedPacketSize97(ByteString("*a\0", 3)), 0u);
  EXPECT_EQ(AnnouncedPacketSize97(Hex("2A 61 00 05")), 9u);
  EXPECT_EQ(AnnouncedPacketSize97(Hex("00 00 FF FF 00")), 65539u);
}

TEST_F(ExtractPacketTest, LengthZeroGivesFourBytesThatCheckRejects) {
  ByteString buffer("*a\0\0\x01", 5);
  const ByteString packet = ExtractPacket97(buffer, true);
  EXPECT_EQ(packet, ByteString("*a\0\0", 4));
  EXPECT_EQ(buffer, "\x01");
  EXPECT_EQ(CheckPacket97(packet), 1);
}

TEST_F(ExtractPacketTest, LargestLengthField) {
  ByteString buffer = HeaderOnlyPacket(65539);
  EXPECT_EQ(ExtractPacket97(buffer, false).size(), 65539u);
  buffer.pop_back();
  EXPECT_EQ(ExtractPacket97(buffer, false), "");
}

}  // namespace
}  // namespace tarnel
