// Reads the decompressed bytes of the one compressed stream a data block holds (a zstd frame or
// LZMA2, lzma_block.h), in buffers no larger than the block and the stream's window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "patchw32/codec/codec.h"
#include "patchw32/codec/inflater.h"

namespace codec {

class FrameReader {
 public:
  // `windowLog`: the largest window this frame may ask for (at most kWindowLogMax), or for an
  // LZMA block the dictionary of the same size; a block that asks for more is corrupt data,
  // refused before anything is allocated for it. `prefix` is the reference the block was
  // compressed against (reference zstd or LZMA); it must outlive the reader.
  FrameReader(const ReadAt& block, uint64_t blockLength, int windowLog, std::span<const std::byte> prefix = {});
  ~FrameReader() = default;
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // Exactly out.size() decompressed bytes; CorruptData when the frame has fewer.
  DecodeResult Read(std::span<std::byte> out);
  DecodeResult ReadByte(uint8_t& byte);
  // An unsigned LEB128 number of at most 64 bits.
  DecodeResult ReadVarint(uint64_t& value);
  // Ok only when the frame has ended, nothing of it is left unread and the block ends with it.
  DecodeResult Finish();

 private:
  // Decompresses into `into` until something comes out or the frame ends; `produced` says how much.
  DecodeResult Decompress(std::span<std::byte> into, size_t& produced);
  DecodeResult Refill();
  // Reads the block's stage from its first bytes and sets up its decoder.
  DecodeResult Start(int windowLog, std::span<const std::byte> prefix);

  const ReadAt& block_;
  uint64_t blockLength_;
  uint64_t consumed_ = 0;
  bool frameEnded_ = false;
  DecodeResult setup_ = DecodeResult::Ok;
  std::unique_ptr<Inflater> inflater_;
  std::vector<std::byte> input_;
  size_t inputPos_ = 0;
  size_t inputEnd_ = 0;
  std::vector<std::byte> output_;
  size_t outputPos_ = 0;
  size_t outputEnd_ = 0;
};

}  // namespace codec
