// The per-codec encoders and decoders that EncodeFile and DecodeFile choose between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "patchw32/codec/branch_filter.h"
#include "patchw32/codec/codec.h"
#include "patchw32/codec/stage_writer.h"

typedef struct ZSTD_CCtx_s ZSTD_CCtx;

namespace codec {

// The smallest zstd window log (at most kWindowLogMax) that spans `span` bytes.
int WindowLogFor(uint64_t span);
// Level, window and workers for an encoder; false when zstd refuses them.
bool ConfigureEncoder(ZSTD_CCtx* context, const EncodeOptions& options, int windowLog);

// Encoders (the builder's library), each through the entropy stage asked for (zstd unless told).
// Nothing when the stage fails or, for reference coding, when the files are too large for its
// apply bound.
std::optional<std::vector<std::byte>> EncodePlainZstd(std::span<const std::byte> newFile,
                                                      const EncodeOptions& options, Stage stage = Stage::Zstd);
// Plain coding of new[i] - new[i - 1] (modulo 256; the first byte as it is).
std::optional<std::vector<std::byte>> EncodeDeltaZstd(std::span<const std::byte> newFile,
                                                      const EncodeOptions& options, Stage stage = Stage::Zstd);
std::optional<std::vector<std::byte>> EncodeReferenceZstd(std::span<const std::byte> oldFile,
                                                          std::span<const std::byte> newFile,
                                                          const EncodeOptions& options, Stage stage = Stage::Zstd);
// Matches the files and writes the covers; `covered` is told how many new bytes covers explain.
// With a branch filter, both files are matched with their branches converted.
std::optional<std::vector<std::byte>> EncodeCoversFile(std::span<const std::byte> oldFile,
                                                       std::span<const std::byte> newFile,
                                                       const EncodeOptions& options, uint64_t& covered,
                                                       BranchFilter filter = BranchFilter::None,
                                                       Stage stage = Stage::Zstd);

// Decoders (the engine's library).
DecodeResult DecodePlainZstd(const ReadAt& block, uint64_t blockLength, uint64_t newSize, const Sink& sink,
                             const Progress& progress);
DecodeResult DecodeDeltaZstd(const ReadAt& block, uint64_t blockLength, uint64_t newSize, const Sink& sink,
                             const Progress& progress);
DecodeResult DecodeReferenceZstd(const ReadAt& block, uint64_t blockLength, const ReadAt& oldFile,
                                 uint64_t oldSize, uint64_t newSize, const Sink& sink,
                                 const Progress& progress);
DecodeResult DecodeCovers(const ReadAt& block, uint64_t blockLength, const ReadAt& oldFile, uint64_t oldSize,
                          uint64_t newSize, const Sink& sink, const Progress& progress,
                          BranchFilter filter = BranchFilter::None);

}  // namespace codec
