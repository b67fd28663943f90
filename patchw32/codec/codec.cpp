// Dispatching a data block to the decoder of its codec.
#include "patchw32/codec/codec.h"

#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/lzma_block.h"

namespace codec {

const char* StageName(std::byte firstByte) { return firstByte == kLzmaBlockTag ? "lzma" : "zstd"; }

DecodeResult DecodeFile(payload::Codec codec, const ReadAt& block, uint64_t blockLength,
                        const ReadAt& oldFile, uint64_t oldSize, uint64_t newSize, const Sink& sink,
                        const Progress& progress) {
  switch (codec) {
    case payload::Codec::PlainZstd:
      return DecodePlainZstd(block, blockLength, newSize, sink, progress);
    case payload::Codec::DeltaZstd:
      return DecodeDeltaZstd(block, blockLength, newSize, sink, progress);
    case payload::Codec::ReferenceZstd:
      return DecodeReferenceZstd(block, blockLength, oldFile, oldSize, newSize, sink, progress);
    case payload::Codec::Covers:
      return DecodeCovers(block, blockLength, oldFile, oldSize, newSize, sink, progress);
    case payload::Codec::CoversX86:
      return DecodeCovers(block, blockLength, oldFile, oldSize, newSize, sink, progress, BranchFilter::Calls);
    case payload::Codec::CoversX64:
      return DecodeCovers(block, blockLength, oldFile, oldSize, newSize, sink, progress,
                          BranchFilter::CallsAndRipRelative);
    default:
      return DecodeResult::CorruptData;
  }
}

}  // namespace codec
