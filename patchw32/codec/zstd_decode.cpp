// Plain and reference zstd: the new file as one zstd frame, decoded in fixed-size buffers.
#include <algorithm>
#include <vector>

#include "codec_internal.h"
#include "frame_reader.h"
#include "codec_limits.h"

namespace codec {
namespace {

constexpr uint64_t kChunk = uint64_t{1} << 17;

DecodeResult CopyFrame(FrameReader& reader, uint64_t newSize, const Sink& sink, const Progress& progress) {
  std::vector<std::byte> buffer(static_cast<size_t>(std::min(kChunk, newSize)));
  for (uint64_t produced = 0; produced < newSize;) {
    size_t take = static_cast<size_t>(std::min<uint64_t>(buffer.size(), newSize - produced));
    std::span chunk(buffer.data(), take);
    if (auto result = reader.Read(chunk); result != DecodeResult::Ok) return result;
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
