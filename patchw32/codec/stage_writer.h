// The entropy stages' encoders: a stream fed in pieces (the covers writer) or whole, coded as one
// zstd frame or as an LZMA block (lzma_block.h), inside the window the decoders allow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "patchw32/codec/codec.h"

namespace codec {

// Sample is no stage of its own: the stream's first kStageSampleBytes as they are, uncoded, from
// which the builder picks the stage for a large stream.
enum class Stage : uint8_t { Zstd, Lzma, Sample };
inline constexpr uint64_t kStageSampleBytes = uint64_t{2} << 20;

class StageWriter {
 public:
  virtual ~StageWriter() = default;
  // Codes the next bytes of the stream; false when the stage fails.
  virtual bool Feed(std::span<const std::byte> bytes) = 0;
  // Ends the stream: the whole data block, or nothing when the stage fails.
  virtual std::optional<std::vector<std::byte>> Finish() = 0;
};

// What a writer is set up with: matches reach back over `prefix` (the reference, which must
// outlive the writer) and the stream, within 2^windowLog bytes; `size` is the stream's length
// when it is known beforehand.
struct StageSetup {
  int windowLog = 10;
  std::span<const std::byte> prefix = {};
  std::optional<uint64_t> size = {};
};

// Nothing when the stage can't be set up with these options.
std::unique_ptr<StageWriter> MakeZstdWriter(const EncodeOptions& options, const StageSetup& setup);
std::unique_ptr<StageWriter> MakeLzmaWriter(const EncodeOptions& options, const StageSetup& setup);
std::unique_ptr<StageWriter> MakeSampleWriter();
std::unique_ptr<StageWriter> MakeStageWriter(Stage stage, const EncodeOptions& options, const StageSetup& setup);

// The whole stream in one go.
std::optional<std::vector<std::byte>> CompressWith(Stage stage, const EncodeOptions& options,
                                                   const StageSetup& setup, std::span<const std::byte> stream);

}  // namespace codec
