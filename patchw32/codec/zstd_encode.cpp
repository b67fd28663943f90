// Plain, delta and reference zstd encoders, inside the window the decoders allow.
#include <zstd.h>

#include <algorithm>
#include <memory>

#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"

namespace codec {

namespace {

constexpr uint64_t kJobBytes = uint64_t{32} << 20;

struct CCtxDeleter {
  void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

std::optional<std::vector<std::byte>> Compress(std::span<const std::byte> reference,
                                               std::span<const std::byte> newFile,
                                               const EncodeOptions& options) {
  std::unique_ptr<ZSTD_CCtx, CCtxDeleter> context(ZSTD_createCCtx());
  if (!context) return std::nullopt;
  ZSTD_CCtx* c = context.get();
  // Matches may reach back over the reference and the new file: the window spans both, but never
  // more than the decoders allow.
  bool ok = ConfigureEncoder(c, options, WindowLogFor(reference.size() + newFile.size())) &&
            !ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(c, newFile.size()));
  if (ok && !reference.empty())
    ok = !ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_enableLongDistanceMatching, 1)) &&
         !ZSTD_isError(ZSTD_CCtx_refPrefix(c, reference.data(), reference.size()));
  if (!ok) return std::nullopt;
  std::vector<std::byte> out(ZSTD_compressBound(newFile.size()));
  size_t written = ZSTD_compress2(c, out.data(), out.size(), newFile.data(), newFile.size());
  if (ZSTD_isError(written)) return std::nullopt;
  out.resize(written);
  return out;
}

}  // namespace

int WindowLogFor(uint64_t span) { return WindowLogSpanning(span); }

bool ConfigureEncoder(ZSTD_CCtx* context, const EncodeOptions& options, int windowLog) {
  if (ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, options.level)) ||
      ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, std::min(windowLog, kWindowLogMax))) ||
      ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0)))
    return false;
  // zstd's output is the same for any number of workers from one up, so the payload does not
  // depend on how many cores the builder had; a zstd built without threads ignores the request.
  ZSTD_CCtx_setParameter(context, ZSTD_c_nbWorkers, static_cast<int>(std::max(1u, options.threads)));
  // zstd's own job size at this window is 64 MiB, so the covers stream of a 50 MB library is one
  // job on one core; in jobs of 32 MiB the second core takes the rest (each job past the first
  // reads the window before it again, which costs little of the ratio).
  ZSTD_CCtx_setParameter(context, ZSTD_c_jobSize, static_cast<int>(kJobBytes));
  return true;
}

std::optional<std::vector<std::byte>> EncodePlainZstd(std::span<const std::byte> newFile,
                                                      const EncodeOptions& options) {
  return Compress({}, newFile, options);
}

std::optional<std::vector<std::byte>> EncodeDeltaZstd(std::span<const std::byte> newFile,
                                                      const EncodeOptions& options) {
  std::vector<std::byte> deltas(newFile.size());
  uint8_t previous = 0;
  for (size_t i = 0; i < newFile.size(); ++i) {
    auto byte = static_cast<uint8_t>(newFile[i]);
    deltas[i] = static_cast<std::byte>(byte - previous);
    previous = byte;
  }
  return Compress({}, deltas, options);
}

std::optional<std::vector<std::byte>> EncodeReferenceZstd(std::span<const std::byte> oldFile,
                                                          std::span<const std::byte> newFile,
                                                          const EncodeOptions& options) {
  if (oldFile.empty() || oldFile.size() > kReferenceLimit || newFile.size() > kReferenceLimit - oldFile.size())
    return std::nullopt;
  return Compress(oldFile, newFile, options);
}

}  // namespace codec
