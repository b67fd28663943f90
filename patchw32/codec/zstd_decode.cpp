// Plain, delta and reference zstd: the new file (or its byte differences) as one zstd frame,
// decoded in fixed-size buffers.
#include <algorithm>
#include <vector>

#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/frame_reader.h"

namespace codec {
namespace {

constexpr uint64_t kChunk = uint64_t{1} << 17;

// With `deltas`, the frame holds each byte's difference from the one before it.
DecodeResult CopyFrame(FrameReader& reader, uint64_t newSize, const Sink& sink, const Progress& progress,
                       bool deltas = false) {
  std::vector<std::byte> buffer(static_cast<size_t>(std::min(kChunk, newSize)));
  uint8_t previous = 0;
  for (uint64_t produced = 0; produced < newSize;) {
    size_t take = static_cast<size_t>(std::min<uint64_t>(buffer.size(), newSize - produced));
    std::span chunk(buffer.data(), take);
    if (auto result = reader.Read(chunk); result != DecodeResult::Ok) return result;
    if (deltas) {
      for (std::byte& b : chunk) {
        previous = static_cast<uint8_t>(previous + static_cast<uint8_t>(b));
        b = static_cast<std::byte>(previous);
      }
    }
    if (!sink(chunk)) return DecodeResult::WriteError;
    produced += take;
    if (progress && !progress(produced, newSize)) return DecodeResult::Stopped;
  }
  return reader.Finish();
}

}  // namespace

DecodeResult DecodePlainZstd(const ReadAt& block, uint64_t blockLength, uint64_t newSize, const Sink& sink,
                             const Progress& progress) {
  FrameReader reader(block, blockLength);
  return CopyFrame(reader, newSize, sink, progress);
}

DecodeResult DecodeDeltaZstd(const ReadAt& block, uint64_t blockLength, uint64_t newSize, const Sink& sink,
                             const Progress& progress) {
  FrameReader reader(block, blockLength);
  return CopyFrame(reader, newSize, sink, progress, true);
}

DecodeResult DecodeReferenceZstd(const ReadAt& block, uint64_t blockLength, const ReadAt& oldFile,
                                 uint64_t oldSize, uint64_t newSize, const Sink& sink,
                                 const Progress& progress) {
  // The builder only chooses this codec while both files fit the bound; anything larger is not ours.
  if (oldSize == 0 || oldSize > kReferenceLimit || newSize > kReferenceLimit - oldSize)
    return DecodeResult::CorruptData;
  std::vector<std::byte> reference(static_cast<size_t>(oldSize));
  if (!oldFile(0, reference)) return DecodeResult::ReadError;
  FrameReader reader(block, blockLength, reference);
  return CopyFrame(reader, newSize, sink, progress);
}

}  // namespace codec
