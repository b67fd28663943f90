// Choosing the codec per file: every candidate that may help is tried, and the smallest kept.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "patchw32/codec/blocks_first_matcher.h"
#include "patchw32/codec/branch_filter.h"
#include "patchw32/codec/codec.h"
#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/cover_encoder.h"
#include "patchw32/codec/cover_finder.h"
#include "patchw32/codec/stage_writer.h"
#include "patchw32/codec/suffix_array.h"

namespace codec {
namespace {

// Old files up to this size are matched through one suffix array over the whole file: it takes
// four bytes per byte plus a 128 MiB search table, within 1 GiB. Larger ones are matched blocks
// first (blocks_first_matcher.h), whose memory does not grow with the file.
constexpr uint64_t kDefaultWholeIndexMax = uint64_t{128} << 20;
// Up to this size plain zstd is always tried too; past it only when the covers explain little,
// since zstd -19 over a large file costs as much again as the covers.
constexpr uint64_t kPlainAlwaysBytes = uint64_t{8} << 20;
// Files from this size on choose their finalists by a trial at kTrialLevel; a candidate stays in
// while its trial is within the margin of the smallest, since higher levels rank them a little
// differently.
constexpr uint64_t kTrialFrom = uint64_t{1} << 20;
constexpr int kTrialLevel = 3;
constexpr uint64_t kTrialMarginPercent = 15;
// Two covers streams of one file (its branches converted or as they stand) differ only in some
// differences bytes and rank alike at every level: the loser of the trial stays in only this close.
constexpr uint64_t kSameKindMarginPercent = 1;
// The smallest trial's coding is kept, in case it is the one, for files up to this size; a larger
// one is coded again, so that a build never holds two codings of a large file.
constexpr uint64_t kKeepTrialMaxBytes = uint64_t{64} << 20;
// Executables up to this size are matched with their branches converted, which takes a converted
// copy of both files (512 MiB at most, so that a build stays within 1 GiB besides the mapped
// files); up to the second size also as they stand, which costs a second matching.
constexpr uint64_t kBranchFilterMaxBytes = uint64_t{256} << 20;
constexpr uint64_t kAlsoUnconvertedBytes = uint64_t{8} << 20;
// Finalists of new files up to this size are coded through both entropy stages and the smaller
// kept; larger ones choose their stage from a sample of their stream (EncodeStages).
constexpr uint64_t kBothStagesMax = uint64_t{4} << 20;

// The covers of the whole new file; nothing when a suffix array can't be built.
std::optional<CoverList> MatchFile(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                                   const EncodeOptions& options) {
  uint64_t wholeIndexMax = options.wholeIndexMax ? options.wholeIndexMax : kDefaultWholeIndexMax;
  if (oldFile.size() > wholeIndexMax) return MatchBlocksFirst(oldFile, newFile, options.threads, options.release);
  if (oldFile.empty() || newFile.empty()) return CoverList{};
  SuffixArray array = SuffixArray::Build(oldFile);
  if (array.empty()) return std::nullopt;
  return FindCovers(oldFile, 0, array, newFile, 0, newFile.size(), options.threads);
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

using StageResult = std::optional<std::vector<std::byte>>;

// A stream through zstd and through LZMA. With a second thread the LZMA coding runs on it beside
// zstd's (which keeps the rest): each stage's bytes are the same whatever the threads, so the
// payload does not depend on them.
template <typename Encoder>
std::pair<StageResult, StageResult> EncodeBothStages(const Encoder& encode, const EncodeOptions& options) {
  if (options.threads < 2) return {encode(options, Stage::Zstd), encode(options, Stage::Lzma)};
  EncodeOptions lzmaOptions = options;
  lzmaOptions.threads = 1;
  EncodeOptions zstdOptions = options;
  zstdOptions.threads = options.threads - 1;
  StageResult lzma;
  std::thread lzmaThread([&] { lzma = encode(lzmaOptions, Stage::Lzma); });
  StageResult zstd = encode(zstdOptions, Stage::Zstd);
  lzmaThread.join();
  return {std::move(zstd), std::move(lzma)};
}

// A finalist's stream through zstd and, unless told not to, LZMA; up to kBothStagesMax new bytes
// both ways, a larger one only through the stage that codes its first kStageSampleBytes smaller
// (zstd on a tie), since coding it twice would cost about as much again as the rest of the build.
template <typename Encoder>
std::pair<StageResult, StageResult> EncodeStages(const Encoder& encode, const EncodeOptions& options,
                                                 uint64_t newSize) {
  if (!options.lzma) return {encode(options, Stage::Zstd), std::nullopt};
  if (newSize <= kBothStagesMax) return EncodeBothStages(encode, options);
  StageResult sample = encode(options, Stage::Sample);
  if (!sample) return {std::nullopt, std::nullopt};
  StageSetup setup{WindowLogFor(sample->size())};
  auto [zstd, lzma] = EncodeBothStages(
      [&](const EncodeOptions& o, Stage stage) { return CompressWith(stage, o, setup, *sample); }, options);
  if (lzma && (!zstd || lzma->size() < zstd->size())) return {std::nullopt, encode(options, Stage::Lzma)};
  return {encode(options, Stage::Zstd), std::nullopt};
}

}  // namespace

std::optional<std::vector<std::byte>> EncodeCoversFile(std::span<const std::byte> oldFile,
                                                       std::span<const std::byte> newFile,
                                                       const EncodeOptions& options, uint64_t& covered,
                                                       BranchFilter filter, Stage stage) {
  if (filter != BranchFilter::None) {
    auto convertedOld = Converted(oldFile, filter);
    auto convertedNew = Converted(newFile, filter);
    return EncodeCoversFile(convertedOld, convertedNew, options, covered, BranchFilter::None, stage);
  }
  auto covers = MatchFile(oldFile, newFile, options);
  if (!covers) return std::nullopt;
  covered = CoveredBytes(*covers);
  return EncodeCovers(oldFile, newFile, *covers, options, stage);
}

Encoded EncodeFile(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                   const EncodeOptions& options) {
#if defined(__GLIBC__)
  // The matcher allocates and frees windows and tables of a few MB to tens of MB, chunk after
  // chunk. glibc's heap keeps what is freed below its mapping threshold (which it raises up to
  // 32 MiB as large blocks come and go) for reuse, so pieces of earlier chunks stay resident beside
  // the next: everything from 8 MiB up is mapped on its own and given back when freed (on the
  // tree's pack, 584 to 538 MB peak; from 1 MiB up, 533 MB, but small files' coders then cost
  // system time mapping and unmapping theirs).
  static std::once_flag mapLargeBlocks;
  std::call_once(mapLargeBlocks, [] { mallopt(M_MMAP_THRESHOLD, 8 << 20); });
#endif
  using Encoder = std::function<std::optional<std::vector<std::byte>>(const EncodeOptions&, Stage)>;
  struct Candidate {
    payload::Codec codec;
    Encoder encode;
    uint64_t marginPercent = kTrialMarginPercent;
    uint64_t trialSize = UINT64_MAX;
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
        {payload::Codec::PlainZstd, [&](const EncodeOptions& o, Stage st) { return EncodePlainZstd(newFile, o, st); }});
    // Raw images and sound compress far better as the differences between neighbouring bytes.
    candidates.push_back(
        {payload::Codec::DeltaZstd, [&](const EncodeOptions& o, Stage st) { return EncodeDeltaZstd(newFile, o, st); }});
  }
  if (!oldFile.empty() && !newFile.empty() && oldFile.size() + newFile.size() <= kReferenceLimit)
    candidates.push_back({payload::Codec::ReferenceZstd,
                          [&](const EncodeOptions& o, Stage st) { return EncodeReferenceZstd(oldFile, newFile, o, st); }});
  if (covers)
    candidates.push_back({CoversCodecFor(filter), [&](const EncodeOptions& o, Stage st) {
                            return EncodeCovers(matchedOld, matchedNew, *covers, o, st);
                          }});
  // A smaller executable is matched as it stands too: cheap, and some are code only in name.
  std::optional<CoverList> unconverted;
  if (filter != BranchFilter::None && newFile.size() <= kAlsoUnconvertedBytes)
    unconverted = MatchFile(oldFile, newFile, options);
  if (unconverted)
    candidates.push_back({payload::Codec::Covers,
                          [&](const EncodeOptions& o, Stage st) {
                            return EncodeCovers(oldFile, newFile, *unconverted, o, st);
                          },
                          kSameKindMarginPercent});

  // With more than one candidate on a larger file, a quick trial at a low level picks the ones
  // worth the full level: zstd -19 over every candidate would cost as much again as the rest.
  std::vector<Candidate*> finalists;
  for (auto& candidate : candidates) finalists.push_back(&candidate);
  if (finalists.size() > 1 && options.level > kTrialLevel && oldFile.size() + newFile.size() > kTrialFrom) {
    EncodeOptions trial = options;
    trial.level = kTrialLevel;
    Candidate* smallest = nullptr;
    std::vector<std::byte> smallestTrial;
    for (auto& candidate : candidates) {
      auto data = candidate.encode(trial, Stage::Zstd);
      if (!data) continue;
      candidate.trialSize = data->size();
      if (smallest && candidate.trialSize >= smallest->trialSize) continue;
      smallest = &candidate;
      smallestTrial = newFile.size() <= kKeepTrialMaxBytes ? std::move(*data) : std::vector<std::byte>{};
    }
    if (!smallest) return {payload::Codec::None, {}};
    // When nothing made the file any smaller, its bytes are as good as random (replaced media,
    // say): the full level would not find what the trial missed, so the trial's coding stands.
    if (smallest->trialSize >= newFile.size()) {
      if (smallestTrial.empty()) smallestTrial = smallest->encode(trial, Stage::Zstd).value_or(std::vector<std::byte>{});
      return {smallest->codec, std::move(smallestTrial)};
    }
    smallestTrial = {};
    uint64_t least = smallest->trialSize;
    finalists.clear();
    for (auto& candidate : candidates)
      if (candidate.trialSize <= least + least * candidate.marginPercent / 100) finalists.push_back(&candidate);
  }
  Encoded best{payload::Codec::None, {}};
  auto consider = [&](payload::Codec codec, std::optional<std::vector<std::byte>>& data) {
    if (data && (best.codec == payload::Codec::None || data->size() < best.data.size()))
      best = {codec, std::move(*data)};
  };
  for (Candidate* candidate : finalists) {
    auto [zstd, lzma] = EncodeStages(candidate->encode, options, newFile.size());
    // Each candidate reads the files from the start again.
    if (options.release) {
      options.release(oldFile);
      options.release(newFile);
    }
    // zstd first, so that it wins a tie: it decodes faster.
    consider(candidate->codec, zstd);
    consider(candidate->codec, lzma);
  }
  return best;
}

}  // namespace codec
