// Writes a cover list, with its differences and the unexplained bytes, as a covers stream.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "patchw32/codec/codec.h"
#include "patchw32/codec/cover_finder.h"

namespace codec {

// One zstd frame holding the covers stream (COVERS.md) that rebuilds newFile from oldFile.
// `covers` must be sorted, disjoint and inside both files; nothing when they are not or zstd fails.
std::optional<std::vector<std::byte>> EncodeCovers(std::span<const std::byte> oldFile,
                                                   std::span<const std::byte> newFile, const CoverList& covers,
                                                   const EncodeOptions& options);

}  // namespace codec
