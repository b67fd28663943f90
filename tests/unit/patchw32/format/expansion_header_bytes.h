// Expansion headers built from the field layout directly, for the header's and the scanner's tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "patchw32/format/expansion_header.h"

namespace expansion_test {

// A header built from the field layout directly, not through the builder's encoder, so that the
// two can't share a mistake: bit t of the id at IdBitTable[t], bit t of `check` at
// CheckBitTable[t] for t up to checkCount.
struct HeaderBytes {
  std::array<uint8_t, kExpansionHeaderSize> bytes{};

  void Word(size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  void FlipBit(unsigned position) { bytes[24 + position / 8] ^= static_cast<uint8_t>(1u << (position % 8)); }
  void SetBit(unsigned position) { bytes[24 + position / 8] |= static_cast<uint8_t>(1u << (position % 8)); }

  static HeaderBytes Valid(uint32_t id, uint32_t check, uint32_t checkCount, int32_t version = 1000100) {
    HeaderBytes header;
    header.Word(4, checkCount);
    header.Word(8, 0xFA7E843F);
    header.Word(12, static_cast<uint32_t>(version));
    uint32_t stored = 0;
    for (unsigned t = 0; t < 32; ++t)
      if ((id >> t) & 1) header.SetBit(IdBitTable[t]);
    for (unsigned t = 0; t <= checkCount && t < 32; ++t)
      if ((check >> t) & 1) header.SetBit(CheckBitTable[t]), stored |= 1u << t;
    header.Word(20, stored);
    return header;
  }
  std::string_view Text() const { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }
};

}  // namespace expansion_test
