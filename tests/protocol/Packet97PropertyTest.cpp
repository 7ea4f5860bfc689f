#include <gtest/gtest.h>

#include <array>
#include <random>
#include <stdexcept>
#include <string>

#include "HexBytes.h"
#include "protocol/AnswerCheck.h"
#include "protocol/Decoders.h"
#include "protocol/Instructions.h"
#include "protocol/Packet97.h"

namespace tarnel {
namespace {

using test::ToHex;

constexpr uint32_t Seed = 0x97C0DEC;

class RandomPacketTest : public ::testing::Test {
 protected:
  uint8_t RandomByte() { return static_cast<uint8_t>(byte_(rng_)); }
  ByteString RandomBytes(std::size_t count) {
    ByteString bytes(count, '\0');
    for (char& c : bytes)
      c = static_cast<char>(RandomByte());
    return bytes;
  }
  std::size_t RandomSize(std::size_t max) { return std::uniform_int_distribution<std::size_t>(0, max)(rng_); }

  // The code CheckPacket97 must give when only the byte at offset of a valid packet changed.
  static uint16_t ExpectedCodeForChangeAt(std::size_t offset, std::size_t size) {
    if (offset == 0) return 2;
    if (offset == 1) return 3;
    if (offset <= 3) return 4;
    if (offset == size - 1) return 6;
    return 5;
  }

  std::mt19937 rng_{Seed};
  std::uniform_int_distribution<int> byte_{0, 255};
};

TEST_F(RandomPacketTest, BuildExtractCheckParseRoundTrip) {
  for (int round = 0; round < 2000; ++round) {
    const uint8_t address = RandomByte(), tag = RandomByte(), code = RandomByte();
    const ByteString data = RandomBytes(RandomSize(round % 100 == 0 ? 3000 : 40));
    const ByteString packet = BuildPacket97(address, tag, code, data);
    const ByteString trailing = RandomBytes(RandomSize(12));
    ByteString buffer = packet + trailing;

    ASSERT_EQ(ExtractPacket97(buffer, true), packet) << "round " << round;
    ASSERT_EQ(buffer, trailing);
    ASSERT_EQ(CheckPacket97(packet), 0) << ToHex(packet);
    const TTarnelFormat97 r = ParsePacket97(packet);
    EXPECT_EQ(r.Prefix, '*');
    EXPECT_EQ(r.Format, 'a');
    EXPECT_EQ(r.Length, data.size() + 5);
    EXPECT_EQ(r.Address, address);
    EXPECT_EQ(r.Tag, tag);
    EXPECT_EQ(r.Code, code);
    EXPECT_EQ(r.Data, data);
    EXPECT_EQ(r.Checksum, static_cast<uint8_t>(packet[packet.size() - 2]));
    EXPECT_EQ(r.Terminator, 0x0D);
    EXPECT_EQ(CheckAnswer(packet + trailing).Status, code == 0 ? TAnswerStatus::Ok : TAnswerStatus::Refused);
  }
}

TEST_F(RandomPacketTest, EverySingleByteChangeIsCaught) {
  for (int round = 0; round < 300; ++round) {
    const ByteString packet =
        BuildPacket97(RandomByte(), RandomByte(), RandomByte(), RandomBytes(RandomSize(20)));
    for (std::size_t offset = 0; offset < packet.size(); ++offset) {
      ByteString changed = packet;
      changed[offset] = static_cast<char>(changed[offset] ^ std::uniform_int_distribution<int>(1, 255)(rng_));
      ASSERT_EQ(CheckPacket97(changed), ExpectedCodeForChangeAt(offset, packet.size()))
          << "offset " << offset << " of " << ToHex(changed);
    }
  }
}

TEST_F(RandomPacketTest, NoProperPrefixIsAPacket) {
  for (int round = 0; round < 200; ++round) {
    const ByteString packet =
        BuildPacket97(RandomByte(), RandomByte(), RandomByte(), RandomBytes(RandomSize(20)));
    for (std::size_t size = 0; size < packet.size(); ++size) {
      ByteString prefix = packet.substr(0, size);
      ASSERT_EQ(ExtractPacket97(prefix, true), "");
      ASSERT_EQ(prefix.size(), size);
      ASSERT_EQ(CheckPacket97(prefix), size < 8 ? 1 : 4);
    }
  }
}

// Arbitrary bytes, from empty to past every 16-bit limit, run through every codec operation. Only the
// documented errors may come out, and the operations must agree with one another.
class BadInputTest : public RandomPacketTest {
 protected:
  void RunEverything(const ByteString& input) {
    SCOPED_TRACE("size " + std::to_string(input.size()));
    ExpectExtractTakesAPrefix(input);
    const uint16_t check = CheckPacket97(input);
    EXPECT_LE(check, 6);
    ExpectParseAgreesWithCheck(input, check);
    RunDecoders(input);
    RunHelpers(input);
    try {
      const TAnswer answer = CheckAnswer(input);
      EXPECT_EQ(answer.Status == TAnswerStatus::NoAnswer, input.empty());
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Incorrect PACKET (Tarnel format 97)!");
    }
  }

  void ExpectExtractTakesAPrefix(const ByteString& input) {
    ByteString kept = input, cut = input;
    const ByteString packet = ExtractPacket97(kept, false);
    EXPECT_EQ(kept, input);
    EXPECT_EQ(ExtractPacket97(cut, true), packet);
    EXPECT_EQ(input.compare(0, packet.size(), packet), 0);
    EXPECT_EQ(cut, input.substr(packet.size()));
  }

  void ExpectParseAgreesWithCheck(const ByteString& input, uint16_t check) {
    TTarnelFormat97 record;
    try {
      ParsePacket97(input, record);
      EXPECT_GE(input.size(), 9u);
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Incorrect PACKET (Tarnel format 97)!");
      EXPECT_EQ(record.Terminator, 0);
      EXPECT_FALSE(check == 0 && input.size() >= 9) << "a valid packet must split";
      return;
    }
    if (check == 0) {
      EXPECT_EQ(BuildPacket97(record.Address, record.Tag, record.Code, record.Data), input);
    }
  }

  void RunDecoders(const ByteString& input) {
    double t = 0, h = 0, d = 0;
    bool valid = false;
    std::array<TAnalogChannel, 4> channels{};
    EXPECT_EQ(DecodeTemperature16(input, t), input.size() == 2);
    if (input.size() != 12) {
      EXPECT_FALSE(DecodeTempHumidityDew(input, t, h, d, valid));
    }
    if (input.size() != 16) {
      EXPECT_FALSE(DecodeAnalogChannels4(input, channels));
    }
    try {
      StrBinToInt16(input);
      EXPECT_EQ(input.size(), 2u);
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "StrBin must be 2 chars length");
    }
  }

  void RunHelpers(const ByteString& input) {
    try {
      PacketChecksum97(input);
      EXPECT_LE(input.size(), 65535u);
    } catch (const std::out_of_range&) {
      EXPECT_GT(input.size(), 65535u);
    }
    try {
      EXPECT_EQ(CheckPacket97(BuildPacket97(1, 2, 3, input)), 0);
      EXPECT_LE(input.size(), 65528u);
    } catch (const std::out_of_range&) {
      EXPECT_GT(input.size(), 65528u);
    }
    FamilyOfModel(ModelFromInfo(input));
    ParseSerialNumberText(input);
  }

  // Random bytes; with a packet header whose length field matches, to reach the deeper tests.
  ByteString Sample(std::size_t size, bool header) {
    ByteString bytes = RandomBytes(size);
    if (header && size >= 4) {
      bytes[0] = '*';
      bytes[1] = 'a';
      bytes[2] = static_cast<char>(((size - 4) >> 8) & 0xFF);
      bytes[3] = static_cast<char>((size - 4) & 0xFF);
    }
    return bytes;
  }
};

TEST_F(BadInputTest, ShortStrings) {
  for (std::size_t size = 0; size <= 40; ++size) {
    for (int variant = 0; variant < 20; ++variant)
      RunEverything(Sample(size, variant % 2 == 1));
  }
}

TEST_F(BadInputTest, StringsAroundEverySizeLimit) {
  for (std::size_t size :
       {255u, 256u, 259u, 260u, 65526u, 65535u, 65536u, 65537u, 65538u, 65539u, 65540u, 70000u}) {
    for (int variant = 0; variant < 2; ++variant)
      RunEverything(Sample(size, variant == 1));
  }
  RunEverything(ByteString(70000, '\0'));
  RunEverything(ByteString(70000, '*'));
}

TEST_F(BadInputTest, LargestPacketsStillValidate) {
  for (std::size_t dataSize : {65527u, 65528u}) {
    const ByteString packet = BuildPacket97(1, 2, 0, RandomBytes(dataSize));
    EXPECT_EQ(CheckPacket97(packet), 0);
    EXPECT_EQ(CheckAnswer(packet).Packet.Data.size(), dataSize);
    RunEverything(packet);
  }
}

}  // namespace
}  // namespace tarnel
