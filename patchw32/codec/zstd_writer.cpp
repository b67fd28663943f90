// The zstd stage's encoder: one frame, at the options' level, inside the window the decoders allow.
#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getCParams: the level's match tables for a window
#include <zstd.h>

#include <algorithm>

#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/stage_writer.h"

namespace codec {
namespace {

class ZstdWriter final : public StageWriter {
 public:
  explicit ZstdWriter(ZSTD_CCtx* context) : context_(context) {}
  ~ZstdWriter() override { ZSTD_freeCCtx(context_); }

  bool Feed(std::span<const std::byte> bytes) override { return Code(bytes, ZSTD_e_continue); }

  std::optional<std::vector<std::byte>> Finish() override {
    if (!Code({}, ZSTD_e_end)) return std::nullopt;
    return std::move(out_);
  }

  // The whole stream at once, as one call: zstd sizes its frame for it.
  std::optional<std::vector<std::byte>> CompressAll(std::span<const std::byte> stream) {
    std::vector<std::byte> out(ZSTD_compressBound(stream.size()));
    size_t written = ZSTD_compress2(context_, out.data(), out.size(), stream.data(), stream.size());
    if (ZSTD_isError(written)) return std::nullopt;
    out.resize(written);
    return out;
  }

 private:
  bool Code(std::span<const std::byte> bytes, ZSTD_EndDirective mode) {
    ZSTD_inBuffer in{bytes.data(), bytes.size(), 0};
    for (;;) {
      size_t used = out_.size();
      out_.resize(used + ZSTD_CStreamOutSize());
      ZSTD_outBuffer out{out_.data() + used, ZSTD_CStreamOutSize(), 0};
      size_t left = ZSTD_compressStream2(context_, &out, &in, mode);
      out_.resize(used + out.pos);
      if (ZSTD_isError(left)) return false;
      if (mode == ZSTD_e_end ? left == 0 : in.pos == in.size) return true;
    }
  }

  ZSTD_CCtx* context_;
  std::vector<std::byte> out_;
};

std::unique_ptr<ZstdWriter> MakeWriter(const EncodeOptions& options, const StageSetup& setup) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  if (!context) return nullptr;
  auto writer = std::make_unique<ZstdWriter>(context);
  bool ok = ConfigureEncoder(context, options, setup.windowLog) &&
            (!setup.size || !ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(context, *setup.size)));
  if (ok && !setup.prefix.empty())
    ok = !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_enableLongDistanceMatching, 1)) &&
         !ZSTD_isError(ZSTD_CCtx_refPrefix(context, setup.prefix.data(), setup.prefix.size()));
  return ok ? std::move(writer) : nullptr;
}

}  // namespace

int WindowLogFor(uint64_t span) { return WindowLogSpanning(span); }

constexpr uint64_t kJobBytes = uint64_t{32} << 20;

bool ConfigureEncoder(ZSTD_CCtx* context, const EncodeOptions& options, int windowLog) {
  windowLog = std::min(windowLog, kWindowLogMax);
  if (ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, options.level)) ||
      ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, windowLog)) ||
      ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0)))
    return false;
  // A stream fed in pieces has no size zstd knows, so it would size its match tables for the
  // level's own window (80 MB at level 19) whatever the window set here: a small file's coding
  // would spend most of its time clearing them. No table needs more entries than twice the window
  // has positions (zstd trims them so itself when it knows the size).
  if (windowLog < kWindowLogMax) {
    ZSTD_compressionParameters tables = ZSTD_getCParams(options.level, ZSTD_CONTENTSIZE_UNKNOWN, 0);
    int most = windowLog + 1;
    if (ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_hashLog, std::min(static_cast<int>(tables.hashLog), most))) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_chainLog, std::min(static_cast<int>(tables.chainLog), most))))
      return false;
  }
  // zstd's output is the same for any number of workers from one up, so the payload does not
  // depend on how many cores the builder had; a zstd built without threads ignores the request.
  ZSTD_CCtx_setParameter(context, ZSTD_c_nbWorkers, static_cast<int>(std::max(1u, options.threads)));
  // zstd's own job size at this window is 64 MiB, so the covers stream of a 50 MB library is one
  // job on one core; in jobs of 32 MiB the second core takes the rest (each job past the first
  // reads the window before it again, which costs little of the ratio).
  ZSTD_CCtx_setParameter(context, ZSTD_c_jobSize, static_cast<int>(kJobBytes));
  return true;
}

std::unique_ptr<StageWriter> MakeZstdWriter(const EncodeOptions& options, const StageSetup& setup) {
  return MakeWriter(options, setup);
}

std::unique_ptr<StageWriter> MakeStageWriter(Stage stage, const EncodeOptions& options, const StageSetup& setup) {
  switch (stage) {
    case Stage::Lzma: return MakeLzmaWriter(options, setup);
    case Stage::Sample: return MakeSampleWriter();
    default: return MakeZstdWriter(options, setup);
  }
}

std::optional<std::vector<std::byte>> CompressWith(Stage stage, const EncodeOptions& options,
                                                   const StageSetup& setup, std::span<const std::byte> stream) {
  if (stage == Stage::Zstd) {
    auto writer = MakeWriter(options, setup);
    return writer ? writer->CompressAll(stream) : std::nullopt;
  }
  auto writer = MakeStageWriter(stage, options, setup);
  if (!writer || !writer->Feed(stream)) return std::nullopt;
  return writer->Finish();
}

}  // namespace codec
