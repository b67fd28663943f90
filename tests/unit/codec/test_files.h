// Small generated files for the codec tests: code-like bytes and the edits releases make.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "codec.h"

namespace codec::test {

using Bytes = std::vector<std::byte>;

inline Bytes Random(size_t size, uint64_t seed) {
  Bytes out(size);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = static_cast<std::byte>(x >> 24);
  }
  return out;
}

// Bytes that look like machine code: short opcodes and 4-byte addresses into a table, so that
// moving the table shifts many addresses by the same amount.
inline Bytes CodeLike(size_t size, uint64_t seed, uint32_t addressBase) {
  Bytes out;
  Bytes noise = Random(size, seed);
  size_t i = 0;
  while (out.size() < size) {
    uint8_t op = static_cast<uint8_t>(noise[i++ % noise.size()]) % 6;
    static const uint8_t opcodes[6] = {0x8b, 0xe8, 0x89, 0x48, 0xc3, 0x0f};
    out.push_back(static_cast<std::byte>(opcodes[op]));
    if (op < 3) {
      uint32_t address = addressBase + (static_cast<uint32_t>(noise[i++ % noise.size()]) << 4);
      for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::byte>(address >> (8 * k)));
    }
  }
  out.resize(size);
  return out;
}

inline Bytes Concat(std::initializer_list<std::span<const std::byte>> parts) {
  Bytes out;
  for (auto part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline ReadAt ReaderOf(std::span<const std::byte> bytes) {
  return [bytes](uint64_t offset, std::span<std::byte> buffer) {
    if (offset > bytes.size() || buffer.size() > bytes.size() - offset) return false;
    std::memcpy(buffer.data(), bytes.data() + offset, buffer.size());
    return true;
  };
}

// Decodes a block into a vector, as the engine would into a file.
inline DecodeResult Decode(payload::Codec codec, std::span<const std::byte> block, std::span<const std::byte> oldFile,
                           uint64_t newSize, Bytes& out) {
  out.clear();
  return DecodeFile(codec, ReaderOf(block), block.size(), ReaderOf(oldFile), oldFile.size(), newSize,
                    [&](std::span<const std::byte> bytes) {
                      out.insert(out.end(), bytes.begin(), bytes.end());
                      return true;
                    },
                    nullptr);
}

}  // namespace codec::test
