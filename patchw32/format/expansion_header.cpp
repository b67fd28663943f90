// Expansion header fields, the scattering of identifier and check bits over ScrambledBits, and
// the version number as text.
#include "patchw32/format/expansion_header.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr size_t kCheckCountAt = 4, kMagicAt = 8, kVersionAt = 12, kCheckValueAt = 20, kScrambledAt = 24;

uint32_t WordAt(std::span<const std::byte> bytes, size_t offset) {
  uint32_t word = 0;
  for (size_t i = 0; i < 4; ++i)
    if (offset + i < bytes.size()) word |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
  return word;
}

void PutWord(std::span<std::byte> bytes, size_t offset, uint32_t word) {
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::byte>(word >> (8 * i));
}

uint32_t Bit(const std::array<uint32_t, 3>& bits, unsigned position) {
  return (bits[position / 32] >> (position % 32)) & 1u;
}

void SetBit(std::array<uint32_t, 3>& bits, unsigned position, uint32_t value) {
  uint32_t mask = 1u << (position % 32);
  bits[position / 32] = value ? bits[position / 32] | mask : bits[position / 32] & ~mask;
}

// The check bits of a header that the builder writes: spread from the identifier, so that
// neighbouring identifiers differ in many check bits.
uint32_t CheckBitsFor(uint32_t id) {
  uint32_t x = id * 0x9E3779B1u;
  return x ^ (x >> 15);
}

}  // namespace

ExpansionFileHeader DecodeExpansionHeader(std::span<const std::byte> bytes) {
  ExpansionFileHeader header;
  header.CheckCount = WordAt(bytes, kCheckCountAt);
  header.Magic = WordAt(bytes, kMagicAt);
  header.VersionNumber = static_cast<int32_t>(WordAt(bytes, kVersionAt));
  header.CheckValue = WordAt(bytes, kCheckValueAt);
  for (size_t i = 0; i < 3; ++i) header.ScrambledBits[i] = WordAt(bytes, kScrambledAt + 4 * i);
  return header;
}

void GatherBit(const ExpansionFileHeader& header, unsigned position, uint32_t& accumulator, unsigned target) {
  accumulator |= Bit(header.ScrambledBits, position % 96) << (target % 32);
}

uint32_t ExtractIdFromHeader(const ExpansionFileHeader& header) {
  if (header.Magic != kExpansionMagic) return 0;
  uint32_t id = 0;
  for (unsigned t = 0; t < 32; ++t) GatherBit(header, IdBitTable[t], id, t);
  // The table has 32 entries: a header asking for more check bits can't be checked.
  if (header.CheckCount > 31) return 0;
  uint32_t check = 0;
  for (unsigned t = 0; t <= header.CheckCount; ++t) GatherBit(header, CheckBitTable[t], check, t);
  if (id == ReservedId) return 0;
  if (check != header.CheckValue) return 0;
  return id;
}

void EncodeExpansionHeader(std::span<std::byte, kExpansionHeaderSize> bytes, uint32_t id,
                           int32_t versionNumber, uint32_t checkCount) {
  ExpansionFileHeader header = DecodeExpansionHeader(bytes);
  uint32_t mask = checkCount >= 31 ? 0xFFFFFFFFu : (1u << (checkCount + 1)) - 1;
  uint32_t check = CheckBitsFor(id) & mask;
  for (unsigned t = 0; t < 32; ++t) {
    SetBit(header.ScrambledBits, IdBitTable[t], (id >> t) & 1u);
    SetBit(header.ScrambledBits, CheckBitTable[t], (check >> t) & 1u);
  }
  PutWord(bytes, kCheckCountAt, checkCount);
  PutWord(bytes, kMagicAt, kExpansionMagic);
  PutWord(bytes, kVersionAt, static_cast<uint32_t>(versionNumber));
  PutWord(bytes, kCheckValueAt, check);
  for (size_t i = 0; i < 3; ++i) PutWord(bytes, kScrambledAt + 4 * i, header.ScrambledBits[i]);
}

int FormatVersionNumber(int32_t number, std::string& out) {
  int32_t major = number / 1000000;
  int32_t minor = (number / 10000) % 100;
  int32_t build = (number / 100) % 100;
  int32_t revision = number % 100;
  char text[48];
  int fields = revision > 0 ? 4 : 3;
  if (fields == 4)
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", major, minor, build, revision);
  else
    std::snprintf(text, sizeof text, "%d.%d.%d", major, minor, build);
  out = text;
  return fields;
}
