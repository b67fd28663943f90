// Finds covers: stretches of the new file that nearly match stretches of the old one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "patchw32/codec/suffix_array.h"

namespace codec {

// new[newOffset, newOffset + length) is explained by old[oldOffset, oldOffset + length) plus
// byte-wise differences.
struct Cover {
  uint64_t oldOffset = 0;
  uint64_t newOffset = 0;
  uint64_t length = 0;
  bool operator==(const Cover&) const = default;
};
using CoverList = std::vector<Cover>;

// Appends `cover` to covers found in pieces, joined to the last one when it goes on where that one
// ended in both files (the cut between two pieces split it).
void AppendJoined(CoverList& covers, const Cover& cover);

// How eagerly the matcher takes and extends matches; the defaults are tuned on executables and
// data packs (bench/).
struct MatchTuning {
  uint64_t minSeed = 12;      // shortest exact match from the suffix array that starts a cover
  uint64_t minNear = 8;       // shortest exact match under a recent alignment that does
  uint64_t farPenalty = 8;    // bytes an alignment far from the recent ones must win by
  int64_t minNearScore = 8;   // least score (equal bytes less different ones) of a kept cover...
  int64_t minFarScore = 64;   // ...and of one far from the recent alignments
  uint64_t stride = 4;        // step between searches where no cover runs
  int64_t giveUp = 24;        // how far a cover's score may fall below its best before it ends
  uint64_t switchGain = 8;    // how many more bytes a new alignment must explain to take over
  uint64_t probeSkip = 8;     // bytes between two searches for a better alignment inside a cover
};

// A suffix array over old[start, start + suffixes->size()) of the window: a large window is
// indexed in parts, whose suffix arrays can be sorted side by side. A part made for some stretch
// of the new file is searched only from positions near it: it serves new[newBegin, newEnd).
struct IndexedPart {
  uint64_t start = 0;
  const SuffixArray* suffixes = nullptr;
  uint64_t newBegin = 0;
  uint64_t newEnd = UINT64_MAX;
  // How many leading bytes the part's search table keys on: 0 picks 3 from 1 MiB on and 2 below;
  // many small parts take 1 or 2, since a 3-byte table is 128 MiB.
  unsigned bucketBytes = 0;
};

// Covers of newFile[newBegin, newEnd) from `old`, indexed in `parts`, which may overlap; a match
// is looked for in each. `hints` are exact matches already known (whole-file offsets, sorted by
// new offset, disjoint): their alignments are tried where they begin and end, as a seed or in
// place of a cover's alignment, so the parts need not index the old bytes they explain. Nothing
// when a part lies outside `old` or the parts' widths differ.
CoverList FindCovers(std::span<const std::byte> old, uint64_t oldBase, std::span<const IndexedPart> parts,
                     std::span<const std::byte> newFile, uint64_t newBegin, uint64_t newEnd, unsigned threads,
                     const MatchTuning& tuning = {}, std::span<const Cover> hints = {});

// Covers of newFile[newBegin, newEnd) from `old`, a window of the old file that starts at
// `oldBase`, whose suffix array is `suffixes`. Sorted by new offset, disjoint, each inside both
// files; offsets are the whole files'. The result does not depend on `threads`.
CoverList FindCovers(std::span<const std::byte> old, uint64_t oldBase, const SuffixArray& suffixes,
                     std::span<const std::byte> newFile, uint64_t newBegin, uint64_t newEnd, unsigned threads,
                     const MatchTuning& tuning = {});

}  // namespace codec
