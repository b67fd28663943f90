// The entropy stages' decoders behind the frame reader: each turns a block's compressed bytes
// into the stream they hold, a piece at a time, in buffers the reader owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "patchw32/codec/codec.h"

namespace codec {

class Inflater {
 public:
  virtual ~Inflater() = default;
  // Decodes from in[inPos...] into out[outPos...], moving both on; `ended` once the stream's end
  // has been read. CorruptData for anything the stage refuses.
  virtual DecodeResult Step(std::span<const std::byte> in, size_t& inPos, std::span<std::byte> out,
                            size_t& outPos, bool& ended) = 0;
};

// A zstd frame whose window may be at most 2^windowLog; a frame that asks for more is refused
// before zstd allocates anything for it. Nothing when zstd can't be set up.
std::unique_ptr<Inflater> MakeZstdInflater(int windowLog, std::span<const std::byte> prefix);
// Raw LZMA2 with a dictionary of `dictionaryBytes` (already checked against the bound).
std::unique_ptr<Inflater> MakeLzmaInflater(uint64_t dictionaryBytes, std::span<const std::byte> prefix);

}  // namespace codec
