// The branch filter's conversion. Which bytes are operands is decided from opcode bytes alone,
// which the conversion never changes, so decoding finds exactly the operands encoding converted.
#include "patchw32/codec/branch_filter.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace codec {
namespace {

// Only distances that fit in 25 bits (signed) are converted, into positions of 25 bits (signed):
// both keep the top byte 0x00 or 0xFF, so decoding recognises the same operands, and constants
// that only look like an operand are mostly left alone.
void Convert(uint8_t* operand, uint64_t nextInstruction, BranchDirection direction) {
  uint32_t value;
  std::memcpy(&value, operand, 4);
  uint8_t top = static_cast<uint8_t>(value >> 24);
  if (top != 0x00 && top != 0xFF) return;
  uint32_t position = static_cast<uint32_t>(nextInstruction);
  uint32_t converted = direction == BranchDirection::Encode ? value + position : value - position;
  converted &= 0x01FFFFFF;
  if (converted & 0x01000000) converted |= 0xFE000000;
  std::memcpy(operand, &converted, 4);
}

// What a byte may begin: an E8 call, or (in x86-64 code, with a ModRM byte of mod 00 and r/m
// 101) an instruction with a 32-bit instruction-relative displacement: moves, loads of
// addresses, arithmetic and compares with memory.
enum Start : uint8_t { kNothing, kCall, kRipOperand };

constexpr std::array<uint8_t, 256> kStarts = [] {
  std::array<uint8_t, 256> starts{};
  for (uint8_t opcode : {0x01, 0x03, 0x09, 0x0B, 0x21, 0x23, 0x29, 0x2B, 0x31, 0x33, 0x38, 0x39, 0x3A, 0x3B,
                         0x63, 0x80, 0x81, 0x83, 0x85, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8D, 0xC6, 0xC7, 0xFF})
    starts[opcode] = kRipOperand;
  starts[0xE8] = kCall;
  return starts;
}();

uint16_t Read16(std::span<const std::byte> file, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(file[at]) | static_cast<uint8_t>(file[at + 1]) << 8);
}

uint32_t Read32(std::span<const std::byte> file, size_t at) {
  return Read16(file, at) | static_cast<uint32_t>(Read16(file, at + 2)) << 16;
}

// Whether the byte at `i` can begin an operand the loop below converts: an E8, or (x86-64) a byte
// followed by a ModRM byte of mod 00 and r/m 101 (whose opcode is then looked up).
bool MayBegin(const uint8_t* bytes, size_t i, bool rip) {
  return bytes[i] == 0xE8 || (rip && (bytes[i + 1] & 0xC7) == 0x05);
}

// The first position from `i` on that may begin an operand, or `size`. Most bytes begin nothing:
// sixteen at a time are tested with SSE2 where the target has it (every x86-64), and only the
// positions it marks are looked at.
size_t NextCandidate(const uint8_t* bytes, size_t size, size_t i, bool rip) {
#if defined(__SSE2__)
  const __m128i call = _mm_set1_epi8(static_cast<char>(0xE8));
  const __m128i modrmMask = _mm_set1_epi8(static_cast<char>(0xC7));
  const __m128i modrmRip = _mm_set1_epi8(0x05);
  // Loads bytes [i, i + 17): the chunk and the byte after it, each position's ModRM byte.
  for (; i + 17 <= size; i += 16) {
    __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    __m128i marks = _mm_cmpeq_epi8(here, call);
    if (rip) {
      __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
      marks = _mm_or_si128(marks, _mm_cmpeq_epi8(_mm_and_si128(next, modrmMask), modrmRip));
    }
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(marks));
    if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  for (; i + 1 < size; ++i)
    if (MayBegin(bytes, i, rip)) return i;
  return size;
}

}  // namespace

void ConvertBranches(BranchFilter filter, BranchDirection direction, std::span<std::byte> block,
                     uint64_t blockOffset) {
  if (filter == BranchFilter::None) return;
  auto* bytes = reinterpret_cast<uint8_t*>(block.data());
  size_t size = block.size();
  bool rip = filter == BranchFilter::CallsAndRipRelative;
  for (size_t i = 0; i + 5 <= size;) {
    // A byte that can begin nothing is stepped over one at a time, so jumping to the next one that
    // can changes nothing.
    i = NextCandidate(bytes, size, i, rip);
    if (i + 5 > size) break;
    uint8_t start = kStarts[bytes[i]];
    if (start == kCall) {
      Convert(bytes + i + 1, blockOffset + i + 5, direction);
      i += 5;
    } else if (start == kRipOperand && rip && i + 6 <= size && (bytes[i + 1] & 0xC7) == 0x05) {
      Convert(bytes + i + 2, blockOffset + i + 6, direction);
      i += 6;
    } else {
      ++i;
    }
  }
}

void ConvertFileBlocks(BranchFilter filter, BranchDirection direction, std::span<std::byte> bytes,
                       uint64_t offset) {
  if (filter == BranchFilter::None) return;
  for (size_t at = 0; at < bytes.size(); at += kBranchBlockBytes)
    ConvertBranches(filter, direction, bytes.subspan(at, std::min(kBranchBlockBytes, bytes.size() - at)), offset + at);
}

BranchFilter BranchFilterFor(std::span<const std::byte> file) {
  if (file.size() >= 0x40 && file[0] == std::byte{'M'} && file[1] == std::byte{'Z'}) {
    uint32_t pe = Read32(file, 0x3C);
    if (pe > file.size() - 6 || Read32(file, pe) != 0x00004550) return BranchFilter::None;  // "PE\0\0"
    uint16_t machine = Read16(file, pe + 4);
    if (machine == 0x8664) return BranchFilter::CallsAndRipRelative;
    if (machine == 0x014C) return BranchFilter::Calls;
    return BranchFilter::None;
  }
  if (file.size() >= 20 && Read32(file, 0) == 0x464C457F) {  // "\x7fELF", little-endian
    if (file[5] != std::byte{1}) return BranchFilter::None;
    uint16_t machine = Read16(file, 18);
    if (machine == 62) return BranchFilter::CallsAndRipRelative;
    if (machine == 3) return BranchFilter::Calls;
  }
  return BranchFilter::None;
}

}  // namespace codec
