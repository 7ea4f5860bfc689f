#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ByteString.h"
#include "common/Exception.h"

namespace tarnel {

// The split form of one format-97 packet.
struct TTarnelFormat97 {
  uint8_t Prefix = 0;
  uint8_t Format = 0;
  uint16_t Length = 0;
  uint8_t Address = 0;
  uint8_t Tag = 0;
  uint8_t Code = 0;
  ByteString Data;
  uint8_t Checksum = 0;
  uint8_t Terminator = 0;
};

// 0..MaxDeviceAddress are the addresses a device can be given; the two above are never a device's own.
inline constexpr uint8_t MaxDeviceAddress = 253;
inline constexpr uint8_t UniversalAddress = 254;
inline constexpr uint8_t SpecialAddress = 255;

inline constexpr char PacketPrefix97 = '*';
inline constexpr char PacketFormat97 = 'a';
inline constexpr uint8_t PacketTerminator97 = 0x0D;
// The shortest string CheckPacket97 can accept: the length field counts at least address, tag, checksum and
// terminator.
inline constexpr std::size_t MinPacketSize97 = 8;

// The whole size the packet starting at Buffer's first byte announces: its length field + 4. 0 while fewer
// than the four bytes up to the length field are there; prefix and format are not looked at.
std::size_t AnnouncedPacketSize97(const ByteString& Buffer);

// 255 minus the byte sum modulo 256; std::out_of_range past 65535 bytes.
uint8_t PacketChecksum97(const ByteString& bytes);

// A complete packet; std::out_of_range when the data does not fit.
ByteString BuildPacket97(uint8_t Address, uint8_t Tag, uint8_t Code, const ByteString& Data);

// BuildPacket97(UniversalAddress, Code, Code, Data): the tag repeats the instruction code.
ByteString BuildUniversalRequest97(uint8_t Code, const ByteString& Data);

// Splits a packet without validating it; throws tarnel::Exception("Incorrect PACKET (Tarnel format 97)!").
TTarnelFormat97 ParsePacket97(const ByteString& Packet);

// The same into Out; the fields stored before a failure stay in Out (Terminator is always reset to 0 first).
void ParsePacket97(const ByteString& Packet, TTarnelFormat97& Out);

// The first complete packet at the very start of Buffer, or empty; never skips leading bytes, never throws.
ByteString ExtractPacket97(ByteString& Buffer, bool RemoveFromBuffer);

// 0 for exactly one complete valid packet, else 1..6 for the first failed test; never throws (a string too
// long for its checksum to be computed gives 5).
uint16_t CheckPacket97(const ByteString& Packet);

}  // namespace tarnel
