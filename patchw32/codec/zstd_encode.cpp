// Plain, delta and reference encoders: the new file (or its byte differences) as one stream of
// the chosen stage, inside the window the decoders allow.
#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/stage_writer.h"

namespace codec {
namespace {

std::optional<std::vector<std::byte>> Compress(std::span<const std::byte> reference,
                                               std::span<const std::byte> newFile, const EncodeOptions& options,
                                               Stage stage) {
  // Matches may reach back over the reference and the new file: the window spans both, but never
  // more than the decoders allow.
  StageSetup setup{WindowLogFor(reference.size() + newFile.size()), reference, newFile.size()};
  return CompressWith(stage, options, setup, newFile);
}

}  // namespace

std::optional<std::vector<std::byte>> EncodePlainZstd(std::span<const std::byte> newFile,
                                                      const EncodeOptions& options, Stage stage) {
  return Compress({}, newFile, options, stage);
}

std::optional<std::vector<std::byte>> EncodeDeltaZstd(std::span<const std::byte> newFile,
                                                      const EncodeOptions& options, Stage stage) {
  std::vector<std::byte> deltas(newFile.size());
  uint8_t previous = 0;
  for (size_t i = 0; i < newFile.size(); ++i) {
    auto byte = static_cast<uint8_t>(newFile[i]);
    deltas[i] = static_cast<std::byte>(byte - previous);
    previous = byte;
  }
  return Compress({}, deltas, options, stage);
}

std::optional<std::vector<std::byte>> EncodeReferenceZstd(std::span<const std::byte> oldFile,
                                                          std::span<const std::byte> newFile,
                                                          const EncodeOptions& options, Stage stage) {
  // The LZMA decoder copies the old file into its dictionary while the engine still holds it, so
  // reference LZMA has half zstd's bound (codec_limits.h).
  uint64_t limit = stage == Stage::Lzma ? kLzmaReferenceLimit : kReferenceLimit;
  if (oldFile.empty() || oldFile.size() > limit || newFile.size() > limit - oldFile.size()) return std::nullopt;
  return Compress(oldFile, newFile, options, stage);
}

}  // namespace codec
