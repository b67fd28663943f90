// The branch filter's conversion. Which bytes are operands is decided from opcode bytes alone,
// which the conversion never changes, so decoding finds exactly the operands encoding converted.
#include "branch_filter.h"

#include <cstring>

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

// Opcodes that, with a ModRM byte of mod 00 and r/m 101, take a 32-bit instruction-relative
// displacement in x86-64 code: moves, loads of addresses, arithmetic and compares with memory.
bool TakesRipOperand(uint8_t opcode) {
  switch (opcode) {
    case 0x01: case 0x03: case 0x09: case 0x0B: case 0x21: case 0x23: case 0x29: case 0x2B:
    case 0x31: case 0x33: case 0x38: case 0x39: case 0x3A: case 0x3B: case 0x63: case 0x80:
    case 0x81: case 0x83: case 0x85: case 0x87: case 0x88: case 0x89: case 0x8A: case 0x8B:
    case 0x8D: case 0xC6: case 0xC7: case 0xFF:
      return true;
    default:
      return false;
  }
}

uint16_t Read16(std::span<const std::byte> file, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(file[at]) | static_cast<uint8_t>(file[at + 1]) << 8);
}

uint32_t Read32(std::span<const std::byte> file, size_t at) {
  return Read16(file, at) | static_cast<uint32_t>(Read16(file, at + 2)) << 16;
}

}  // namespace

void ConvertBranches(BranchFilter filter, BranchDirection direction, std::span<std::byte> block,
                     uint64_t blockOffset) {
  if (filter == BranchFilter::None) return;
  auto* bytes = reinterpret_cast<uint8_t*>(block.data());
  size_t size = block.size();
  bool rip = filter == BranchFilter::CallsAndRipRelative;
  for (size_t i = 0; i + 5 <= size;) {
    if (bytes[i] == 0xE8) {
      Convert(bytes + i + 1, blockOffset + i + 5, direction);
      i += 5;
    } else if (rip && i + 6 <= size && (bytes[i + 1] & 0xC7) == 0x05 && TakesRipOperand(bytes[i])) {
      Convert(bytes + i + 2, blockOffset + i + 6, direction);
      i += 6;
    } else {
      ++i;
    }
  }
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
