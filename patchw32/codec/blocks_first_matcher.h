// Matching a large file: blocks first, then suffix arrays only over the old bytes that the new
// file's unexplained stretches may come from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "patchw32/codec/block_matcher.h"
#include "patchw32/codec/cover_finder.h"

namespace codec {

// The covers of the whole new file. The block matcher finds the stretches equal block for block;
// each stretch it leaves unexplained (a gap) is matched against suffix arrays over the old bytes
// near where the matches around it align, a bounded amount of old bytes at a time, and the exact
// matches guide the covers through the rest. Nothing when a suffix array can't be built. The
// result does not depend on `threads`. `release` is told of the bytes each stage is done with.
std::optional<CoverList> MatchBlocksFirst(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                                          unsigned threads, const ReleasePages& release = {});

}  // namespace codec
