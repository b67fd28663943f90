// The LZMA stage's decoder: raw LZMA2 with the dictionary the block's header names.
#include <lzma.h>

#include "patchw32/codec/inflater.h"

namespace codec {
namespace {

class LzmaInflater final : public Inflater {
 public:
  ~LzmaInflater() override { lzma_end(&stream_); }

  bool Start(uint64_t dictionaryBytes, std::span<const std::byte> prefix) {
    // LZMA2 reads its literal and position settings from the chunks; the decoder takes only the
    // dictionary (and the reference it starts from) from here.
    if (lzma_lzma_preset(&options_, 0)) return false;
    options_.dict_size = static_cast<uint32_t>(dictionaryBytes);
    if (!prefix.empty()) {
      options_.preset_dict = reinterpret_cast<const uint8_t*>(prefix.data());
      options_.preset_dict_size = static_cast<uint32_t>(prefix.size());
    }
    lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options_}, {LZMA_VLI_UNKNOWN, nullptr}};
    return lzma_raw_decoder(&stream_, filters) == LZMA_OK;
  }

  DecodeResult Step(std::span<const std::byte> in, size_t& inPos, std::span<std::byte> out, size_t& outPos,
                    bool& ended) override {
    stream_.next_in = reinterpret_cast<const uint8_t*>(in.data()) + inPos;
    stream_.avail_in = in.size() - inPos;
    stream_.next_out = reinterpret_cast<uint8_t*>(out.data()) + outPos;
    stream_.avail_out = out.size() - outPos;
    lzma_ret result = lzma_code(&stream_, LZMA_RUN);
    inPos = in.size() - stream_.avail_in;
    outPos = out.size() - stream_.avail_out;
    ended = result == LZMA_STREAM_END;
    // Anything else (bad data, a stream that cannot go on) is a block we don't accept.
    return ended || result == LZMA_OK ? DecodeResult::Ok : DecodeResult::CorruptData;
  }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
  lzma_options_lzma options_{};
};

}  // namespace

std::unique_ptr<Inflater> MakeLzmaInflater(uint64_t dictionaryBytes, std::span<const std::byte> prefix) {
  auto inflater = std::make_unique<LzmaInflater>();
  if (!inflater->Start(dictionaryBytes, prefix)) return nullptr;
  return inflater;
}

}  // namespace codec
