// Choosing a codec per file, and dispatching a data block to its decoder.
#include "codec.h"

namespace codec {

std::vector<std::byte> EncodePlainZstd(std::span<const std::byte> newFile, const EncodeOptions& options);
DecodeResult DecodePlainZstd(const ReadAt& block, uint64_t blockLength, uint64_t newSize, const Sink& sink,
                             const Progress& progress);

Encoded EncodeFile(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                   const EncodeOptions& options) {
  return {payload::Codec::PlainZstd, EncodePlainZstd(newFile, options)};
}

DecodeResult DecodeFile(payload::Codec codec, const ReadAt& block, uint64_t blockLength,
                        const ReadAt& oldFile, uint64_t oldSize, uint64_t newSize, const Sink& sink,
                        const Progress& progress) {
  switch (codec) {
    case payload::Codec::PlainZstd:
      return DecodePlainZstd(block, blockLength, newSize, sink, progress);
    default:
      return DecodeResult::CorruptData;
  }
}

}  // namespace codec
