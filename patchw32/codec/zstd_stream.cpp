// Plain zstd: the whole new file as one zstd frame, decoded in fixed-size buffers.
#include <zstd.h>

#include <memory>

#include "codec.h"

namespace codec {
namespace {

constexpr size_t kReadBuffer = 1 << 17;

struct DStreamDeleter {
  void operator()(ZSTD_DStream* stream) const { ZSTD_freeDStream(stream); }
};

}  // namespace

std::vector<std::byte> EncodePlainZstd(std::span<const std::byte> newFile, const EncodeOptions& options) {
  std::vector<std::byte> out(ZSTD_compressBound(newFile.size()));
  size_t written = ZSTD_compress(out.data(), out.size(), newFile.data(), newFile.size(), options.level);
  if (ZSTD_isError(written)) return {};
  out.resize(written);
  return out;
}

DecodeResult DecodePlainZstd(const ReadAt& block, uint64_t blockLength, uint64_t newSize, const Sink& sink,
                             const Progress& progress) {
  std::unique_ptr<ZSTD_DStream, DStreamDeleter> stream(ZSTD_createDStream());
  if (!stream) return DecodeResult::CorruptData;
  // The window a frame may ask for is capped, so a hostile frame can't demand huge memory.
  ZSTD_DCtx_setParameter(stream.get(), ZSTD_d_windowLogMax, 27);
  std::vector<std::byte> input(kReadBuffer);
  std::vector<std::byte> output(ZSTD_DStreamOutSize());
  uint64_t consumed = 0;
  uint64_t produced = 0;
  size_t lastResult = 1;
  while (consumed < blockLength) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(input.size(), blockLength - consumed));
    if (!block(consumed, std::span(input.data(), want))) return DecodeResult::ReadError;
    consumed += want;
    ZSTD_inBuffer in{input.data(), want, 0};
    while (in.pos < in.size) {
      ZSTD_outBuffer out{output.data(), output.size(), 0};
      lastResult = ZSTD_decompressStream(stream.get(), &out, &in);
      if (ZSTD_isError(lastResult)) return DecodeResult::CorruptData;
      if (out.pos > newSize - produced) return DecodeResult::CorruptData;
      if (out.pos > 0 && !sink(std::span(output.data(), out.pos))) return DecodeResult::WriteError;
      produced += out.pos;
      if (progress && !progress(produced, newSize)) return DecodeResult::Stopped;
      if (lastResult == 0 && in.pos < in.size) return DecodeResult::CorruptData;  // bytes after the frame
    }
  }
  // Flush what the decoder still holds once the input is all in.
  while (lastResult != 0) {
    ZSTD_inBuffer in{nullptr, 0, 0};
    ZSTD_outBuffer out{output.data(), output.size(), 0};
    lastResult = ZSTD_decompressStream(stream.get(), &out, &in);
    if (ZSTD_isError(lastResult) || out.pos == 0) return DecodeResult::CorruptData;
    if (out.pos > newSize - produced) return DecodeResult::CorruptData;
    if (!sink(std::span(output.data(), out.pos))) return DecodeResult::WriteError;
    produced += out.pos;
  }
  return produced == newSize ? DecodeResult::Ok : DecodeResult::CorruptData;
}

}  // namespace codec
