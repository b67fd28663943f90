// The zstd stage's decoder: one frame, with a capped window.
#include <zstd.h>

#include "patchw32/codec/inflater.h"

namespace codec {
namespace {

class ZstdInflater final : public Inflater {
 public:
  explicit ZstdInflater(ZSTD_DCtx* context) : context_(context) {}
  ~ZstdInflater() override { ZSTD_freeDCtx(context_); }

  DecodeResult Step(std::span<const std::byte> in, size_t& inPos, std::span<std::byte> out, size_t& outPos,
                    bool& ended) override {
    ZSTD_inBuffer input{in.data(), in.size(), inPos};
    ZSTD_outBuffer output{out.data(), out.size(), outPos};
    size_t result = ZSTD_decompressStream(context_, &output, &input);
    if (ZSTD_isError(result)) return DecodeResult::CorruptData;
    inPos = input.pos;
    outPos = output.pos;
    ended = result == 0;
    return DecodeResult::Ok;
  }

 private:
  ZSTD_DCtx* context_;
};

}  // namespace

std::unique_ptr<Inflater> MakeZstdInflater(int windowLog, std::span<const std::byte> prefix) {
  ZSTD_DCtx* context = ZSTD_createDCtx();
  if (!context) return nullptr;
  auto inflater = std::make_unique<ZstdInflater>(context);
  // A hostile frame header cannot make us allocate more than the window this file allows.
  if (ZSTD_isError(ZSTD_DCtx_setParameter(context, ZSTD_d_windowLogMax, windowLog)) ||
      (!prefix.empty() && ZSTD_isError(ZSTD_DCtx_refPrefix(context, prefix.data(), prefix.size()))))
    return nullptr;
  return inflater;
}

}  // namespace codec
