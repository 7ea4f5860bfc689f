// Feeds arbitrary bytes to every codec operation that reads line data. Only the documented errors may
// escape, and the operations must agree with one another; anything else aborts with a message.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "protocol/AnswerCheck.h"
#include "protocol/Decoders.h"
#include "protocol/Instructions.h"
#include "protocol/Packet97.h"

namespace {

using tarnel::ByteString;

constexpr const char* IncorrectPacket = "Incorrect PACKET (Tarnel format 97)!";

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "codec fault: %s\n", what);
  std::abort();
}

void RequireMessage(const std::exception& e, const char* expected) {
  if (std::strcmp(e.what(), expected) == 0) return;
  std::fprintf(stderr, "codec fault: unexpected message \"%s\", wanted \"%s\"\n", e.what(), expected);
  std::abort();
}

void FuzzExtract(const ByteString& input) {
  ByteString kept = input;
  ByteString cut = input;
  const ByteString packet = tarnel::ExtractPacket97(kept, false);
  Require(kept == input, "ExtractPacket97 changed the buffer without RemoveFromBuffer");
  Require(tarnel::ExtractPacket97(cut, true) == packet, "ExtractPacket97 differs between its modes");
  Require(input.compare(0, packet.size(), packet) == 0, "extracted packet is not at the start");
  Require(cut == input.substr(packet.size()), "RemoveFromBuffer removed the wrong bytes");
}

// Whatever a decoder reads, its encoder writes back byte for byte, as long as the status bytes hold only
// the bits the decoder reports.
void FuzzEncoders(const ByteString& data) {
  double temperature = 0, humidity = 0, dew = 0;
  bool valid = false;
  std::array<tarnel::TAnalogChannel, 4> channels{};
  if (tarnel::DecodeTemperature16(data, temperature))
    Require(tarnel::EncodeTemperature16(temperature) == data, "2-byte encoder differs from its decoder");
  const auto onlyKnownBits = [&data](uint8_t known) {
    for (std::size_t k = 0; k < 4; ++k)
      if ((static_cast<uint8_t>(data[4 * k + 1]) & ~known) != 0) return false;
    return true;
  };
  const auto statusAll = [&data](uint8_t status) {
    return static_cast<uint8_t>(data[1]) == status && data[5] == data[1] && data[9] == data[1];
  };
  if (tarnel::DecodeTempHumidityDew(data, temperature, humidity, dew, valid) &&
      statusAll(valid ? tarnel::ChannelValidBit : 0))
    Require(tarnel::EncodeTempHumidityDew(temperature, humidity, dew, valid) == data,
            "12-byte encoder differs from its decoder");
  const uint8_t analogBits =
      tarnel::ChannelValidBit | tarnel::ChannelOverflowBit | tarnel::ChannelUnderflowBit;
  if (tarnel::DecodeAnalogChannels4(data, channels) && onlyKnownBits(analogBits))
    Require(tarnel::EncodeAnalogChannels4(channels) == data, "16-byte encoder differs from its decoder");
}

void FuzzDecoders(const ByteString& data) {
  double temperature = 0, humidity = 0, dew = 0;
  bool valid = false;
  std::array<tarnel::TAnalogChannel, 4> channels{};
  Require(tarnel::DecodeTemperature16(data, temperature) == (data.size() == 2), "2-byte decoder length test");
  if (!tarnel::DecodeTempHumidityDew(data, temperature, humidity, dew, valid)) {
    Require(data.size() != 12 || data[0] != 1 || data[4] != 2 || data[8] != 3, "12-byte decoder refused");
  }
  if (tarnel::DecodeAnalogChannels4(data, channels))
    Require(data.size() == 16, "16-byte decoder length test");
  FuzzEncoders(data);
  Require(tarnel::ParseSetAddressSpeedData(data).has_value() == (data.size() == 2), "0xE0 data size");
  Require(tarnel::ParseSetAddressBySerialData(data).has_value() == (data.size() == 5), "0xEB data size");
  Require(tarnel::ParseBurnSerialData(data).has_value() == (data.size() == 8), "0xEA data size");
  try {
    tarnel::StrBinToInt16(data);
    Require(data.size() == 2, "StrBinToInt16 accepted a wrong length");
  } catch (const tarnel::Exception& e) {
    RequireMessage(e, "StrBin must be 2 chars length");
  }
}

void FuzzParse(const ByteString& input, uint16_t check) {
  tarnel::TTarnelFormat97 record;
  try {
    tarnel::ParsePacket97(input, record);
  } catch (const tarnel::Exception& e) {
    RequireMessage(e, IncorrectPacket);
    Require(record.Terminator == 0, "Terminator not reset by a failed parse");
    Require(check != 0 || input.size() < 9, "a valid packet of 9 bytes or more failed to split");
    return;
  }
  Require(input.size() >= 9, "a string shorter than 9 bytes was split");
  FuzzDecoders(record.Data);
  if (check == 0) {
    const ByteString rebuilt = tarnel::BuildPacket97(record.Address, record.Tag, record.Code, record.Data);
    Require(rebuilt == input, "a valid packet does not rebuild from its fields");
  }
}

void FuzzAnswer(const ByteString& input) {
  try {
    const tarnel::TAnswer answer = tarnel::CheckAnswer(input);
    Require((answer.Status == tarnel::TAnswerStatus::NoAnswer) == input.empty(),
            "NoAnswer for a non-empty result");
  } catch (const tarnel::Exception& e) {
    RequireMessage(e, IncorrectPacket);
  }
  const tarnel::TDeviceFamily family = tarnel::FamilyOfModel(tarnel::ModelFromInfo(input));
  Require(family == tarnel::TDeviceFamily::None || input.find(';') != ByteString::npos,
          "a model without ';'");
  tarnel::ParseSerialNumberText(input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteString input(reinterpret_cast<const char*>(data), size);
  try {
    FuzzExtract(input);
    const uint16_t check = tarnel::CheckPacket97(input);
    Require(check <= 6, "CheckPacket97 result out of range");
    FuzzParse(input, check);
    FuzzDecoders(input);
    FuzzAnswer(input);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "codec fault: undocumented exception \"%s\"\n", e.what());
    std::abort();
  }
  return 0;
}
