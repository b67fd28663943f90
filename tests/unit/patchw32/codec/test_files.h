// Small generated files for the codec tests: code-like bytes and the edits releases make.
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "patchw32/codec/codec.h"

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

// An executable of `functions` functions laid out in a row behind a PE header of `machine`, whose
// calls (E8 and a 32-bit distance) go to the first 16, as code calls its runtime. With `grow`,
// function 20 is that many bytes longer, so every call from the code after it changes its
// distance, as in a compiler's next build.
inline Bytes Program(size_t functions, uint64_t seed, uint16_t machine, size_t grow = 0) {
  Bytes sizes = Random(functions, seed);
  std::vector<size_t> lengths(functions), starts(functions);
  for (size_t f = 0; f < functions; ++f) lengths[f] = 40 + static_cast<uint8_t>(sizes[f]) % 200;
  if (functions > 20) lengths[20] += grow;
  size_t at = 0x400;
  for (size_t f = 0; f < functions; ++f) starts[f] = at, at += lengths[f];
  Bytes out(0x400);
  std::memcpy(out.data(), "MZ", 2);
  out[0x3c] = std::byte{0x80};
  std::memcpy(out.data() + 0x80, "PE\0\0", 4);
  out[0x84] = static_cast<std::byte>(machine);
  out[0x85] = static_cast<std::byte>(machine >> 8);
  for (size_t f = 0; f < functions; ++f) {
    Bytes body = Random(2 * lengths[f] + 16, seed * 7919 + f);  // the same in every build
    size_t n = 0;
    auto next = [&] { return static_cast<uint8_t>(body[n++]); };
    size_t end = out.size() + lengths[f];
    while (out.size() < end) {
      if (end - out.size() >= 5 && next() % 8 == 0) {
        uint32_t distance = static_cast<uint32_t>(starts[next() % std::min<size_t>(functions, 16)] - (out.size() + 5));
        out.push_back(std::byte{0xE8});
        for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::byte>(distance >> (8 * k)));
      } else {
        uint8_t b = next();
        out.push_back(static_cast<std::byte>(b == 0xE8 ? 0x90 : b));
      }
    }
  }
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
