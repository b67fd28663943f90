// Finds the new file's stretches that equal stretches of the old one block for block, without a
// suffix sort: the first pass over a large file, which explains most of it cheaply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "patchw32/codec/codec.h"
#include "patchw32/codec/cover_finder.h"

namespace codec {

// The block size for an old file of `oldSize` bytes: the index takes 8 bytes per block, so the
// blocks grow with the file to keep it within a bound (64 bytes up to 1 GiB, then doubling).
uint64_t BlockSizeFor(uint64_t oldSize);

// Exact matches between the files, each holding at least one whole aligned block of the old file
// (old offsets at multiples of blockSize), grown both ways while the bytes are equal. Sorted by
// new offset, disjoint in the new file. Blocks that occur many times in the old file are looked
// up at only a few of their places. The result does not depend on `threads`.
// `release`, when given, is told of the bytes each stage is done with (EncodeOptions::release).
CoverList FindBlockMatches(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                           uint64_t blockSize, unsigned threads, const ReleasePages& release = {});

}  // namespace codec
