// Choosing the codec per file: every candidate that may help is tried, and the smallest kept.
#include <algorithm>
#include <cstdint>
#include <climits>
#include <functional>
#include <thread>

#include "patchw32/codec/branch_filter.h"
#include "patchw32/codec/codec.h"
#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/cover_encoder.h"
#include "patchw32/codec/cover_finder.h"
#include "patchw32/codec/suffix_array.h"

namespace codec {
namespace {

constexpr uint64_t kDefaultMatchWindow = uint64_t{3} << 29;  // 1.5 GiB
// Windows past this size are indexed in two parts; the overlap exceeds the longest search.
constexpr uint64_t kSplitFrom = uint64_t{256} << 20;
constexpr uint64_t kSplitOverlap = uint64_t{1} << 12;
// Up to this size plain zstd is always tried too; past it only when the covers explain little,
// since zstd -19 over a large file costs as much again as the covers.
constexpr uint64_t kPlainAlwaysBytes = uint64_t{8} << 20;
// Files from this size on choose their finalists by a trial at kTrialLevel; a candidate stays in
// while its trial is within the margin of the smallest, since higher levels rank them a little
// differently.
constexpr uint64_t kTrialFrom = uint64_t{1} << 20;
constexpr int kTrialLevel = 3;
constexpr uint64_t kTrialMarginPercent = 15;
// Executables up to this size are matched with their branches converted, which takes a converted
// copy of both files; up to the second size also as they stand, which costs a second matching.
constexpr uint64_t kBranchFilterMaxBytes = uint64_t{1} << 30;
constexpr uint64_t kAlsoUnconvertedBytes = uint64_t{8} << 20;

// The part of the old file a window's suffix array is built over, and the part of the new file
// matched against it.
struct Window {
  uint64_t oldBegin, oldEnd, newBegin, newEnd;
};

// Wide enough for a file size times a file size: on a 32-bit target both sizes are below 4 GiB.
#ifdef __SIZEOF_INT128__
using SizeProduct = unsigned __int128;
#else
using SizeProduct = uint64_t;
#endif

// One window for an old file that fits; otherwise windows that step through both files side by
// side, each overlapping its neighbours so that content moved a little still finds its match.
std::vector<Window> PlanWindows(uint64_t oldSize, uint64_t newSize, uint64_t window) {
  if (oldSize <= window) return {{0, oldSize, 0, newSize}};
  uint64_t margin = window / 8;
  uint64_t core = window - 2 * margin;
  uint64_t count = (oldSize + core - 1) / core;
  auto newAt = [&](uint64_t k) {
    return k >= count ? newSize
                      : static_cast<uint64_t>(static_cast<SizeProduct>(k * core) * newSize / oldSize);
  };
  std::vector<Window> windows;
  for (uint64_t k = 0; k < count; ++k) {
    uint64_t begin = k * core;
    windows.push_back({begin > margin ? begin - margin : 0, std::min(oldSize, begin + core + margin), newAt(k),
                       newAt(k + 1)});
  }
  return windows;
}

// The covers of the whole new file, window by window; nothing when a suffix array can't be built.
std::optional<CoverList> MatchFile(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                                   const EncodeOptions& options) {
  uint64_t window = options.matchWindow ? options.matchWindow : kDefaultMatchWindow;
  CoverList covers;
  for (const Window& w : PlanWindows(oldFile.size(), newFile.size(), window)) {
    if (w.newBegin == w.newEnd || w.oldBegin == w.oldEnd) continue;
    auto old = oldFile.subspan(w.oldBegin, w.oldEnd - w.oldBegin);
    // A large window is indexed in two halves that overlap by more than a search compares, so a
    // match that starts in the first half is found there whole. They are sorted side by side
    // (libdivsufsort itself uses one core); how many there are depends on the size alone.
    uint64_t count = old.size() > kSplitFrom ? 2 : 1;
    std::vector<SuffixArray> arrays(count);
    std::vector<IndexedPart> parts(count);
    uint64_t firstEnd = count == 1 ? old.size() : std::min<uint64_t>(old.size(), old.size() / 2 + kSplitOverlap);
    // Both parts take the same width of entries, so that the matcher reads them alike.
    auto width = firstEnd > uint64_t{INT32_MAX} ? SuffixArray::Width::Wide : SuffixArray::Width::Narrow;
    auto sort = [&](uint64_t k) {
      uint64_t begin = k == 0 ? 0 : old.size() / 2;
      uint64_t end = k == 0 ? firstEnd : old.size();
      arrays[k] = SuffixArray::Build(old.subspan(begin, end - begin), width);
      parts[k] = {begin, &arrays[k]};
    };
    if (count > 1 && options.threads > 1) {
      std::thread second(sort, 1);
      sort(0);
      second.join();
    } else {
      for (uint64_t k = 0; k < count; ++k) sort(k);
    }
    for (const auto& array : arrays)
      if (array.empty()) return std::nullopt;
    CoverList found = FindCovers(old, w.oldBegin, parts, newFile, w.newBegin, w.newEnd, options.threads);
    covers.insert(covers.end(), found.begin(), found.end());
  }
  return covers;
}

// A copy of `file` with its branches converted, block by block as the decoder converts them.
std::vector<std::byte> Converted(std::span<const std::byte> file, BranchFilter filter) {
  std::vector<std::byte> out(file.begin(), file.end());
  ConvertFileBlocks(filter, BranchDirection::Encode, out, 0);
  return out;
}

payload::Codec CoversCodecFor(BranchFilter filter) {
  switch (filter) {
    case BranchFilter::Calls: return payload::Codec::CoversX86;
    case BranchFilter::CallsAndRipRelative: return payload::Codec::CoversX64;
    default: return payload::Codec::Covers;
  }
}

uint64_t CoveredBytes(const CoverList& covers) {
  uint64_t covered = 0;
  for (const Cover& cover : covers) covered += cover.length;
  return covered;
}

}  // namespace

std::optional<std::vector<std::byte>> EncodeCoversFile(std::span<const std::byte> oldFile,
                                                       std::span<const std::byte> newFile,
                                                       const EncodeOptions& options, uint64_t& covered,
                                                       BranchFilter filter) {
  if (filter != BranchFilter::None) {
    auto convertedOld = Converted(oldFile, filter);
    auto convertedNew = Converted(newFile, filter);
    return EncodeCoversFile(convertedOld, convertedNew, options, covered);
  }
  auto covers = MatchFile(oldFile, newFile, options);
  if (!covers) return std::nullopt;
  covered = CoveredBytes(*covers);
  return EncodeCovers(oldFile, newFile, *covers, options);
}

Encoded EncodeFile(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                   const EncodeOptions& options) {
  using Encoder = std::function<std::optional<std::vector<std::byte>>(const EncodeOptions&)>;
  struct Candidate {
    payload::Codec codec;
    Encoder encode;
    uint64_t trialSize = 0;
  };
  // Plain zstd comes first and so wins ties: it is the cheapest to apply.
  std::vector<Candidate> candidates;
  // An executable is matched with its branches converted, which usually explains more of a new
  // build than its bytes as they stand; any other file as it is.
  BranchFilter filter = BranchFilter::None;
  if (!oldFile.empty() && oldFile.size() <= kBranchFilterMaxBytes && newFile.size() <= kBranchFilterMaxBytes)
    filter = BranchFilterFor(newFile);
  std::vector<std::byte> convertedOld, convertedNew;
  if (filter != BranchFilter::None) {
    convertedOld = Converted(oldFile, filter);
    convertedNew = Converted(newFile, filter);
  }
  std::span<const std::byte> matchedOld = filter == BranchFilter::None ? oldFile : convertedOld;
  std::span<const std::byte> matchedNew = filter == BranchFilter::None ? newFile : convertedNew;
  std::optional<CoverList> covers;
  // Without an old file the covers stream is the new file's bytes alone; zstd tunes itself
  // differently when it knows the size, so on smaller files that can still beat plain zstd.
  if (!newFile.empty() && (!oldFile.empty() || newFile.size() <= kPlainAlwaysBytes))
    covers = MatchFile(matchedOld, matchedNew, options);
  if (!covers || newFile.size() <= kPlainAlwaysBytes || CoveredBytes(*covers) < newFile.size() / 2) {
    candidates.push_back(
        {payload::Codec::PlainZstd, [&](const EncodeOptions& o) { return EncodePlainZstd(newFile, o); }});
    // Raw images and sound compress far better as the differences between neighbouring bytes.
    candidates.push_back(
        {payload::Codec::DeltaZstd, [&](const EncodeOptions& o) { return EncodeDeltaZstd(newFile, o); }});
  }
  if (!oldFile.empty() && !newFile.empty() && oldFile.size() + newFile.size() <= kReferenceLimit)
    candidates.push_back({payload::Codec::ReferenceZstd,
                          [&](const EncodeOptions& o) { return EncodeReferenceZstd(oldFile, newFile, o); }});
  if (covers)
    candidates.push_back({CoversCodecFor(filter), [&](const EncodeOptions& o) {
                            return EncodeCovers(matchedOld, matchedNew, *covers, o);
                          }});
  // A smaller executable is matched as it stands too: cheap, and some are code only in name.
  std::optional<CoverList> unconverted;
  if (filter != BranchFilter::None && newFile.size() <= kAlsoUnconvertedBytes)
    unconverted = MatchFile(oldFile, newFile, options);
  if (unconverted)
    candidates.push_back({payload::Codec::Covers, [&](const EncodeOptions& o) {
                            return EncodeCovers(oldFile, newFile, *unconverted, o);
                          }});

  // With more than one candidate on a larger file, a quick trial at a low level picks the ones
  // worth the full level: zstd -19 over every candidate would cost as much again as the rest.
  std::vector<Candidate*> finalists;
  for (auto& candidate : candidates) finalists.push_back(&candidate);
  if (finalists.size() > 1 && options.level > kTrialLevel && oldFile.size() + newFile.size() > kTrialFrom) {
    EncodeOptions trial = options;
    trial.level = kTrialLevel;
    uint64_t smallest = UINT64_MAX;
    for (auto& candidate : candidates) {
      auto data = candidate.encode(trial);
      candidate.trialSize = data ? data->size() : UINT64_MAX;
      smallest = std::min(smallest, candidate.trialSize);
    }
    finalists.clear();
    for (auto& candidate : candidates)
      if (candidate.trialSize != UINT64_MAX && candidate.trialSize <= smallest + smallest * kTrialMarginPercent / 100)
        finalists.push_back(&candidate);
  }
  Encoded best{payload::Codec::None, {}};
  for (Candidate* candidate : finalists) {
    auto data = candidate->encode(options);
    if (data && (best.codec == payload::Codec::None || data->size() < best.data.size()))
      best = {candidate->codec, std::move(*data)};
  }
  return best;
}

}  // namespace codec
