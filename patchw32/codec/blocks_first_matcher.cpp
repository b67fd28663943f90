// Blocks first: what the block matcher leaves unexplained decides which old bytes are indexed.
//
// Each gap between two block matches (and before the first, after the last) is cut into pieces;
// each piece gets a window of the old file under the alignment of the match before the gap and
// one under the match after it, widened by a margin each way: an edit's new bytes are most often
// found near the bytes they replace. The windows are gathered into chunks of at most
// kChunkOldBytes of old bytes in the new file's order; a chunk's overlapping windows are indexed
// as one suffix array, and the cover matcher runs over the chunk's new bytes with those arrays and
// the block matches as hints.
#include "patchw32/codec/blocks_first_matcher.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "patchw32/codec/block_matcher.h"
#include "patchw32/codec/suffix_array.h"

namespace codec {
namespace {

// A gap shorter than this is left to the block matches' alignments: the cover matcher grows
// covers across it under them.
constexpr uint64_t kIndexedGapFrom = 64;
// How far past a piece's bytes, under an alignment, its window of the old file reaches.
constexpr uint64_t kWindowMargin = uint64_t{64} << 10;
// A gap is indexed in pieces of at most this many new bytes.
constexpr uint64_t kPieceBytes = uint64_t{16} << 20;
// The most old bytes indexed at once: suffix arrays take four bytes per byte.
constexpr uint64_t kChunkOldBytes = uint64_t{64} << 20;
// The most new bytes matched at once: the pages of both files a chunk read are released after it.
constexpr uint64_t kChunkNewBytes = uint64_t{64} << 20;
// A window this small keys its search table on one byte, else on two (a 3-byte table is 128 MiB).
constexpr uint64_t kOneByteBucketsBelow = uint64_t{64} << 10;

int64_t ShiftOf(const Cover& c) { return static_cast<int64_t>(c.oldOffset) - static_cast<int64_t>(c.newOffset); }

// A piece of a gap, new[newBegin, newEnd), and one window of the old file for it.
struct Window {
  uint64_t newBegin, newEnd, oldBegin, oldEnd;
};

std::vector<Window> PlanWindows(const CoverList& matches, uint64_t oldSize, uint64_t newSize) {
  std::vector<Window> windows;
  auto clamp = [&](uint64_t at, int64_t shift, int64_t extra) {
    int64_t value = static_cast<int64_t>(at) + shift + extra;
    return static_cast<uint64_t>(std::clamp<int64_t>(value, 0, static_cast<int64_t>(oldSize)));
  };
  int64_t previous = matches.empty() ? 0 : ShiftOf(matches.front());
  uint64_t gapBegin = 0;
  for (size_t i = 0; i <= matches.size(); ++i) {
    uint64_t gapEnd = i < matches.size() ? matches[i].newOffset : newSize;
    int64_t next = i < matches.size() ? ShiftOf(matches[i]) : previous;
    if (gapEnd - gapBegin >= kIndexedGapFrom) {
      for (uint64_t begin = gapBegin; begin < gapEnd; begin += kPieceBytes) {
        uint64_t end = std::min(gapEnd, begin + kPieceBytes);
        auto margin = static_cast<int64_t>(kWindowMargin);
        // One window when both alignments are the same.
        for (int64_t shift : previous == next ? std::vector<int64_t>{next} : std::vector<int64_t>{previous, next}) {
          uint64_t oldBegin = clamp(begin, shift, -margin), oldEnd = clamp(end, shift, margin);
          if (oldBegin < oldEnd) windows.push_back({begin, end, oldBegin, oldEnd});
        }
      }
    }
    if (i < matches.size()) {
      gapBegin = matches[i].newOffset + matches[i].length;
      previous = ShiftOf(matches[i]);
    }
  }
  return windows;
}

// The new bytes [newBegin, newEnd) matched together, and the windows indexed for them.
struct Chunk {
  uint64_t newBegin, newEnd;
  std::vector<Window> windows;
};

// Consecutive windows in the new file's order, at most kChunkOldBytes of old bytes and (but for a
// single piece, or where a window is in the way) kChunkNewBytes of new bytes a chunk; a piece's
// windows stay together, and the chunks cover the whole new file.
std::vector<Chunk> PlanChunks(const std::vector<Window>& windows, uint64_t newSize) {
  std::vector<Chunk> chunks{{0, newSize, {}}};
  uint64_t oldBytes = 0;
  // Cuts chunks every kChunkNewBytes up to `until`.
  auto cutUpTo = [&](uint64_t until) {
    while (until - chunks.back().newBegin > kChunkNewBytes) {
      uint64_t cut = chunks.back().newBegin + kChunkNewBytes;
      if (!chunks.back().windows.empty() && chunks.back().windows.back().newEnd > cut) break;
      chunks.back().newEnd = cut;
      chunks.push_back({cut, newSize, {}});
      oldBytes = 0;
    }
  };
  for (size_t i = 0; i < windows.size(); ++i) {
    const Window& w = windows[i];
    cutUpTo(w.newBegin);
    bool samePiece = i > 0 && windows[i - 1].newBegin == w.newBegin;
    if (!samePiece && !chunks.back().windows.empty() &&
        (oldBytes + (w.oldEnd - w.oldBegin) > kChunkOldBytes || w.newEnd - chunks.back().newBegin > kChunkNewBytes)) {
      // Cut halfway between the pieces: inside a block match, or between two pieces of one gap.
      uint64_t lastEnd = chunks.back().windows.back().newEnd;
      uint64_t cut = lastEnd + (w.newBegin - lastEnd) / 2;
      chunks.back().newEnd = cut;
      chunks.push_back({cut, newSize, {}});
      oldBytes = 0;
    }
    chunks.back().windows.push_back(w);
    oldBytes += w.oldEnd - w.oldBegin;
  }
  cutUpTo(newSize);
  return chunks;
}

// A chunk's windows merged where they overlap, as the old ranges to index and the new bytes each
// serves.
std::vector<Window> MergedWindows(std::vector<Window> windows) {
  std::sort(windows.begin(), windows.end(), [](const Window& a, const Window& b) {
    return a.oldBegin != b.oldBegin ? a.oldBegin < b.oldBegin : a.oldEnd < b.oldEnd;
  });
  std::vector<Window> merged;
  for (const Window& w : windows) {
    if (!merged.empty() && w.oldBegin <= merged.back().oldEnd) {
      Window& last = merged.back();
      last.oldEnd = std::max(last.oldEnd, w.oldEnd);
      last.newBegin = std::min(last.newBegin, w.newBegin);
      last.newEnd = std::max(last.newEnd, w.newEnd);
    } else {
      merged.push_back(w);
    }
  }
  return merged;
}

// Covers for one chunk: its windows indexed side by side, then matched with the hints.
std::optional<CoverList> MatchChunk(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                                    const Chunk& chunk, const CoverList& hints, unsigned threads,
                                    const ReleasePages& release, const MatchTuning& tuning) {
  std::vector<Window> merged = MergedWindows(chunk.windows);
  std::vector<SuffixArray> arrays(merged.size());
  std::atomic<size_t> next{0};
  auto sort = [&] {
    for (size_t k; (k = next++) < merged.size();)
      arrays[k] = SuffixArray::Build(oldFile.subspan(merged[k].oldBegin, merged[k].oldEnd - merged[k].oldBegin),
                                     SuffixArray::Width::Narrow);
  };
  std::vector<std::thread> pool;
  for (unsigned i = 1; i < std::min<size_t>(std::max(1u, threads), merged.size()); ++i) pool.emplace_back(sort);
  sort();
  for (auto& thread : pool) thread.join();
  std::vector<IndexedPart> parts;
  for (size_t k = 0; k < merged.size(); ++k) {
    if (arrays[k].empty()) return std::nullopt;
    const Window& w = merged[k];
    parts.push_back({w.oldBegin, &arrays[k], w.newBegin, w.newEnd,
                     w.oldEnd - w.oldBegin < kOneByteBucketsBelow ? 1u : 2u});
  }
  CoverList covers = FindCovers(oldFile, 0, parts, newFile, chunk.newBegin, chunk.newEnd, threads, tuning, hints);
  if (release) {
    // The chunk read old bytes under its covers, in its windows and wherever a seed was tried.
    release(newFile.subspan(chunk.newBegin, chunk.newEnd - chunk.newBegin));
    release(oldFile);
  }
  return covers;
}

}  // namespace

MatchTuning BlocksFirstTuning() {
  MatchTuning tuning;
  tuning.minNearScore = tuning.minFarScore;
  return tuning;
}

std::optional<CoverList> MatchBlocksFirst(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                                          unsigned threads, const ReleasePages& release,
                                          const MatchTuning& tuning) {
  if (oldFile.empty() || newFile.empty()) return CoverList{};
  CoverList matches = FindBlockMatches(oldFile, newFile, BlockSizeFor(oldFile.size()), threads, release);
  CoverList covers;
  for (const Chunk& chunk : PlanChunks(PlanWindows(matches, oldFile.size(), newFile.size()), newFile.size())) {
    auto found = MatchChunk(oldFile, newFile, chunk, matches, threads, release, tuning);
    if (!found) return std::nullopt;
    for (const Cover& cover : *found) AppendJoined(covers, cover);
  }
  return covers;
}

}  // namespace codec
