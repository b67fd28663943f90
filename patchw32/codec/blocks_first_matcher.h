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

// The matcher's tuning on this path: every cover must score at least minFarScore, near a recent
// alignment or not. The windows hold only old bytes near the gaps, so short near matches that the
// whole file's longest match would have outbid are taken, and in replaced data they cost more
// than they save (the bench's 1.1 GiB pack: 60.656 MB with the whole-file tuning, 60.642 MB with
// 16, 60.628 MB with 24, 60.625 MB with 64 at level 19).
MatchTuning BlocksFirstTuning();

// The covers of the whole new file. The block matcher finds the stretches equal block for block;
// each stretch it leaves unexplained (a gap) is matched against suffix arrays over the old bytes
// near where the matches around it align, a bounded amount of old bytes at a time, and the exact
// matches guide the covers through the rest. Nothing when a suffix array can't be built. The
// result does not depend on `threads`. `release` is told of the bytes each stage is done with.
std::optional<CoverList> MatchBlocksFirst(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                                          unsigned threads, const ReleasePages& release = {},
                                          const MatchTuning& tuning = BlocksFirstTuning());

}  // namespace codec
