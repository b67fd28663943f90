// How a data block names its entropy stage. A zstd block is one zstd frame and begins with zstd's
// magic number (28 B5 2F FD); an LZMA block begins with kLzmaBlockTag, then LZMA2's dictionary-size
// byte, then raw LZMA2 chunks up to LZMA2's end marker, and nothing after it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "patchw32/codec/codec_limits.h"

namespace codec {

inline constexpr std::byte kLzmaBlockTag{0x4C};
inline constexpr size_t kLzmaHeaderBytes = 2;

// LZMA2's dictionary-size codes: code c stands for (2 | c & 1) << (c / 2 + 11) bytes, 4 KiB up;
// 40 and above name sizes past 3 GiB or nothing, and are never ours.
inline constexpr uint8_t kLzmaDictionaryCodeMax = 39;
constexpr uint64_t LzmaDictionaryBytes(uint8_t code) {
  return uint64_t{2u | (code & 1u)} << (code / 2 + 11);
}

// The code of the power-of-two dictionary of 2^windowLog bytes (LZMA2's 4 KiB at least).
constexpr uint8_t LzmaDictionaryCode(int windowLog) {
  return windowLog <= 12 ? 0 : static_cast<uint8_t>(2 * (windowLog - 12));
}

// The largest dictionary a block may ask for where a zstd frame may have a window of 2^windowLog.
constexpr uint64_t LzmaDictionaryBound(int windowLog) {
  uint64_t window = uint64_t{1} << (windowLog < kWindowLogMax ? windowLog : kWindowLogMax);
  return window < kLzmaDictionaryMin ? kLzmaDictionaryMin : window;
}

static_assert(LzmaDictionaryBytes(LzmaDictionaryCode(10)) == kLzmaDictionaryMin);
static_assert(LzmaDictionaryBytes(LzmaDictionaryCode(kWindowLogMax)) == kWindowBytes);
static_assert(LzmaDictionaryBytes(1) == 6 << 10);

}  // namespace codec
