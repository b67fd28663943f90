// The stream's first kStageSampleBytes as they are: what the builder codes both ways to pick the
// stage of a large stream. The rest is taken and dropped, so the stream is never held whole.
#include <algorithm>

#include "patchw32/codec/stage_writer.h"

namespace codec {
namespace {

class SampleWriter final : public StageWriter {
 public:
  bool Feed(std::span<const std::byte> bytes) override {
    size_t take = static_cast<size_t>(std::min<uint64_t>(bytes.size(), kStageSampleBytes - sample_.size()));
    sample_.insert(sample_.end(), bytes.begin(), bytes.begin() + take);
    return true;
  }
  std::optional<std::vector<std::byte>> Finish() override { return std::move(sample_); }

 private:
  std::vector<std::byte> sample_;
};

}  // namespace

std::unique_ptr<StageWriter> MakeSampleWriter() { return std::make_unique<SampleWriter>(); }

}  // namespace codec
