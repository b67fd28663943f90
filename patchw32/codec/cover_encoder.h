// Writes a cover list, with its differences and the unexplained bytes, as a covers stream.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "patchw32/codec/codec.h"
#include "patchw32/codec/cover_finder.h"
#include "patchw32/codec/stage_writer.h"

namespace codec {

// One data block (a zstd frame or an LZMA block) holding the covers stream (COVERS.md) that
// rebuilds newFile from oldFile. `covers` must be sorted, disjoint and inside both files; nothing
// when they are not or the stage fails.
std::optional<std::vector<std::byte>> EncodeCovers(std::span<const std::byte> oldFile,
                                                   std::span<const std::byte> newFile, const CoverList& covers,
                                                   const EncodeOptions& options, Stage stage = Stage::Zstd);

}  // namespace codec
