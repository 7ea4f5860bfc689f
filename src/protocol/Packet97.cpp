#include "protocol/Packet97.h"

#include <cstddef>
#include <stdexcept>

#include "common/Bytes.h"

namespace tarnel {

namespace {

constexpr char PacketPrefix = PacketPrefix97;
constexpr char PacketFormat = PacketFormat97;
constexpr uint8_t PacketTerminator = PacketTerminator97;
constexpr std::size_t MaxChecksumInput = 65535;
constexpr std::size_t HeaderSize = 7;  // prefix, format, length (2), address, tag, code
constexpr std::size_t MinCheckedSize = MinPacketSize97;
constexpr std::size_t MinParsedSize = 9;

const char* const IncorrectPacket = "Incorrect PACKET (Tarnel format 97)!";

uint16_t LengthField(const ByteString& bytes) {
  return WordAt(bytes, 2);
}

uint8_t ChecksumOfRange(const ByteString& bytes, std::size_t count) {
  uint8_t sum = 0;
  for (std::size_t i = 0; i < count; ++i)
    sum = static_cast<uint8_t>(sum + ByteAt(bytes, i));
  return static_cast<uint8_t>(255 - sum);
}

}  // namespace

uint8_t PacketChecksum97(const ByteString& bytes) {
  if (bytes.size() > MaxChecksumInput) throw std::out_of_range("PacketChecksum97: more than 65535 bytes");
  return ChecksumOfRange(bytes, bytes.size());
}

ByteString BuildPacket97(uint8_t Address, uint8_t Tag, uint8_t Code, const ByteString& Data) {
  const std::size_t length = Data.size() + 5;
  if (length > 65535) throw std::out_of_range("BuildPacket97: data does not fit the length field");
  ByteString packet;
  packet.reserve(HeaderSize + Data.size() + 2);
  packet += PacketPrefix;
  packet += PacketFormat;
  AppendWord(packet, static_cast<uint16_t>(length));
  packet += static_cast<char>(Address);
  packet += static_cast<char>(Tag);
  packet += static_cast<char>(Code);
  packet += Data;
  packet += static_cast<char>(PacketChecksum97(packet));
  packet += static_cast<char>(PacketTerminator);
  return packet;
}

ByteString BuildUniversalRequest97(uint8_t Code, const ByteString& Data) {
  return BuildPacket97(UniversalAddress, Code, Code, Data);
}

void ParsePacket97(const ByteString& Packet, TTarnelFormat97& Out) {
  Out.Terminator = 0;
  if (Packet.size() < MinParsedSize) throw Exception(IncorrectPacket);
  Out.Prefix = ByteAt(Packet, 0);
  Out.Format = ByteAt(Packet, 1);
  Out.Length = LengthField(Packet);
  Out.Address = ByteAt(Packet, 4);
  Out.Tag = ByteAt(Packet, 5);
  Out.Code = ByteAt(Packet, 6);
  const std::size_t dataLength = Out.Length > 5 ? Out.Length - 5u : 0u;
  Out.Data = Packet.substr(HeaderSize, dataLength);
  const std::size_t checksumOffset = std::size_t{Out.Length} + 2;
  if (checksumOffset >= Packet.size()) throw Exception(IncorrectPacket);
  Out.Checksum = ByteAt(Packet, checksumOffset);
  if (checksumOffset + 1 >= Packet.size()) throw Exception(IncorrectPacket);
  Out.Terminator = ByteAt(Packet, checksumOffset + 1);
}

TTarnelFormat97 ParsePacket97(const ByteString& Packet) {
  TTarnelFormat97 record;
  ParsePacket97(Packet, record);
  return record;
}

std::size_t AnnouncedPacketSize97(const ByteString& Buffer) {
  return Buffer.size() < 4 ? 0 : std::size_t{LengthField(Buffer)} + 4;
}

ByteString ExtractPacket97(ByteString& Buffer, bool RemoveFromBuffer) {
  if (Buffer.size() < 4) return {};
  if (Buffer[0] != PacketPrefix || Buffer[1] != PacketFormat) return {};
  const std::size_t total = AnnouncedPacketSize97(Buffer);
  if (Buffer.size() < total) return {};
  try {
    ByteString packet = Buffer.substr(0, total);
    if (RemoveFromBuffer) Buffer.erase(0, total);
    return packet;
  } catch (const std::exception&) {
    return {};  // only an allocation can fail here; the buffer is then left as it was
  }
}

uint16_t CheckPacket97(const ByteString& Packet) {
  const std::size_t size = Packet.size();
  if (size < MinCheckedSize) return 1;
  if (Packet[0] != PacketPrefix) return 2;
  if (Packet[1] != PacketFormat) return 3;
  if (size != AnnouncedPacketSize97(Packet)) return 4;
  // A packet whose checksummed part exceeds what a checksum covers can never have been built: it is
  // invalid input from the line, not a reason to abort the exchange that received it.
  const std::size_t checksummed = size - 2;
  if (checksummed > MaxChecksumInput) return 5;
  if (ChecksumOfRange(Packet, checksummed) != ByteAt(Packet, checksummed)) return 5;
  if (ByteAt(Packet, size - 1) != PacketTerminator) return 6;
  return 0;
}

}  // namespace tarnel
