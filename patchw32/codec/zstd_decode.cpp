// Plain, delta and reference zstd: the new file (or its byte differences) as one zstd frame,
// decoded in buffers no larger than the new file, with a window no larger than the frame needs.
#include <algorithm>
#include <vector>

#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/frame_reader.h"

namespace codec {
namespace {

// With `deltas`, the frame holds each byte's difference from the one before it.
DecodeResult CopyFrame(FrameReader& reader, uint64_t newSize, const Sink& sink, const Progress& progress,
                       bool deltas = false) {
  std::vector<std::byte> buffer(static_cast<size_t>(std::min(kOutputChunkBytes, newSize)));
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
  // The frame holds the new file and nothing else: its window need not span more.
  FrameReader reader(block, blockLength, WindowLogSpanning(newSize));
  return CopyFrame(reader, newSize, sink, progress);
}

DecodeResult DecodeDeltaZstd(const ReadAt& block, uint64_t blockLength, uint64_t newSize, const Sink& sink,
                             const Progress& progress) {
  FrameReader reader(block, blockLength, WindowLogSpanning(newSize));
  return CopyFrame(reader, newSize, sink, progress, true);
}

DecodeResult DecodeReferenceZstd(const ReadAt& block, uint64_t blockLength, const ReadAt& oldFile,
                                 uint64_t oldSize, uint64_t newSize, const Sink& sink,
                                 const Progress& progress) {
  // The builder only chooses this codec while both files fit the bound; anything larger is not
  // ours. The old file in memory and zstd's buffer of the new one then hold no more than a window.
  if (oldSize == 0 || oldSize > kReferenceLimit || newSize > kReferenceLimit - oldSize)
    return DecodeResult::CorruptData;
  std::vector<std::byte> reference(static_cast<size_t>(oldSize));
  if (!oldFile(0, reference)) return DecodeResult::ReadError;
  FrameReader reader(block, blockLength, WindowLogSpanning(oldSize + newSize), reference);
  return CopyFrame(reader, newSize, sink, progress);
}

}  // namespace codec
