// The LZMA stage's encoder: raw LZMA2 behind the block's tag and dictionary byte (lzma_block.h),
// with a dictionary no larger than the window the decoders allow.
#include <lzma.h>

#include <algorithm>

#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/lzma_block.h"
#include "patchw32/codec/stage_writer.h"

namespace codec {
namespace {

// Output grows by this much whenever liblzma fills what it has.
constexpr size_t kOutputStep = size_t{256} << 10;

// LZMA's settings for zstd's `level`: its presets by half the level (zstd's 19 is LZMA's 9), with
// a shorter match search at the top ones, so that LZMA costs no more than zstd -19. On the x86-64
// library pair's covers stream (48 MiB; zstd -19: 10.16 MB) the preset's own search (nice length
// 64, depth 48) took 1.4 to 2.2 times zstd's time for 9.61 MB, nice length 48 and depth 20 about
// 1.1 times for 9.73 MB, and this about 0.8 times for 9.92 MB.
constexpr uint32_t kTopPresetNiceLength = 32;
constexpr uint32_t kTopPresetDepth = 12;

bool SetUp(lzma_options_lzma& options, int level) {
  auto preset = static_cast<uint32_t>(std::clamp((level - 1) / 2, 0, 9));
  if (lzma_lzma_preset(&options, preset)) return false;
  if (preset >= 6) {
    options.nice_len = kTopPresetNiceLength;
    options.depth = kTopPresetDepth;
  }
  return true;
}

class LzmaWriter final : public StageWriter {
 public:
  ~LzmaWriter() override { lzma_end(&stream_); }

  bool Start(const EncodeOptions& options, const StageSetup& setup) {
    if (!SetUp(options_, options.level)) return false;
    uint8_t code = LzmaDictionaryCode(std::min(setup.windowLog, kWindowLogMax));
    options_.dict_size = static_cast<uint32_t>(LzmaDictionaryBytes(code));
    if (!setup.prefix.empty()) {
      options_.preset_dict = reinterpret_cast<const uint8_t*>(setup.prefix.data());
      options_.preset_dict_size = static_cast<uint32_t>(setup.prefix.size());
    }
    lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options_}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_raw_encoder(&stream_, filters) != LZMA_OK) return false;
    out_ = {kLzmaBlockTag, std::byte{code}};
    return true;
  }

  bool Feed(std::span<const std::byte> bytes) override { return Code(bytes, LZMA_RUN); }

  std::optional<std::vector<std::byte>> Finish() override {
    if (!Code({}, LZMA_FINISH)) return std::nullopt;
    return std::move(out_);
  }

 private:
  bool Code(std::span<const std::byte> bytes, lzma_action action) {
    stream_.next_in = reinterpret_cast<const uint8_t*>(bytes.data());
    stream_.avail_in = bytes.size();
    for (;;) {
      size_t used = out_.size();
      out_.resize(used + kOutputStep);
      stream_.next_out = reinterpret_cast<uint8_t*>(out_.data() + used);
      stream_.avail_out = kOutputStep;
      lzma_ret result = lzma_code(&stream_, action);
      out_.resize(used + kOutputStep - stream_.avail_out);
      if (result == LZMA_STREAM_END) return true;
      if (result != LZMA_OK) return false;
      if (action == LZMA_RUN && stream_.avail_in == 0) return true;
    }
  }

  lzma_stream stream_ = LZMA_STREAM_INIT;
  lzma_options_lzma options_{};
  std::vector<std::byte> out_;
};

}  // namespace

std::unique_ptr<StageWriter> MakeLzmaWriter(const EncodeOptions& options, const StageSetup& setup) {
  auto writer = std::make_unique<LzmaWriter>();
  if (!writer->Start(options, setup)) return nullptr;
  return writer;
}

}  // namespace codec
