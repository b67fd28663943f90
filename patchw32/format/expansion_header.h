// The 116-byte header of an expansion data file (.XPD): its fields, the bit tables, encode and
// check, and its version number as text. The program's scanner reads it; the builder writes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

constexpr size_t kExpansionHeaderSize = 116;
constexpr uint32_t kExpansionMagic = 0xFA7E843F;

// Where the identifier's bits and the check bits lie in the 96-bit ScrambledBits field: entry t
// names the position of bit t. The two tables have no position in common; the 32 positions that
// neither names carry nothing. Expansion data files are accepted only when written with these.
constexpr std::array<uint8_t, 32> IdBitTable = {7,  49, 52, 58, 14, 33, 62, 56, 83, 12, 68,
                                                30, 64, 47, 65, 15, 90, 35, 51, 40, 77, 43,
                                                76, 80, 25, 95, 69, 17, 93, 8,  55, 0};
constexpr std::array<uint8_t, 32> CheckBitTable = {48, 24, 46, 91, 38, 2,  75, 37, 16, 89, 11,
                                                   44, 5,  34, 60, 92, 18, 53, 82, 39, 21, 63,
                                                   9,  59, 73, 20, 88, 81, 22, 74, 50, 84};
// Never accepted as an identifier.
constexpr uint32_t ReservedId = 0xFFFFFFFF;

// The header's fields, little-endian in the file.
struct ExpansionFileHeader {
  uint32_t CheckCount = 0;  // check bits minus one: 0 to 31
  uint32_t Magic = 0;
  int32_t VersionNumber = 0;  // major * 1000000 + minor * 10000 + build * 100 + revision
  uint32_t CheckValue = 0;
  std::array<uint32_t, 3> ScrambledBits{};  // bit p is bit p % 32 of word p / 32
};

// ORs bit `position` (0 to 95) of the header's ScrambledBits into bit `target` of `accumulator`.
void GatherBit(const ExpansionFileHeader& header, unsigned position, uint32_t& accumulator, unsigned target);

// The fields of the first bytes of a file; bytes it lacks (a shorter file) count as zero.
ExpansionFileHeader DecodeExpansionHeader(std::span<const std::byte> bytes);

// The identifier the header carries, or 0 when it is not a valid expansion header: wrong magic,
// a CheckCount above 31, gathered check bits that differ from CheckValue, the reserved or a zero
// identifier.
uint32_t ExtractIdFromHeader(const ExpansionFileHeader& header);

// Writes a valid header for `id` (neither 0 nor ReservedId) with `checkCount` + 1 check bits
// (checkCount 0 to 31) into `bytes`, the file's first 116 bytes. Bytes the header does not
// interpret, and the ScrambledBits positions neither table names, keep what they held.
void EncodeExpansionHeader(std::span<std::byte, kExpansionHeaderSize> bytes, uint32_t id,
                           int32_t versionNumber, uint32_t checkCount);

// Writes the version text of `number` ("%d.%d.%d.%d", or "%d.%d.%d" when the revision is not
// above 0) into `out` and returns how many fields it wrote, 3 or 4.
int FormatVersionNumber(int32_t number, std::string& out);
