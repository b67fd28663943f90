// Choosing the codec per file: every candidate that may help is tried, and the smallest kept.
#include <algorithm>

#include "codec.h"
#include "codec_internal.h"
#include "cover_encoder.h"
#include "cover_finder.h"
#include "codec_limits.h"
#include "suffix_array.h"

namespace codec {
namespace {

constexpr uint64_t kDefaultMatchWindow = uint64_t{3} << 29;  // 1.5 GiB
// Up to this size plain zstd is always tried too; past it only when the covers explain little,
// since zstd -19 over a large file costs as much again as the covers.
constexpr uint64_t kPlainAlwaysBytes = uint64_t{8} << 20;

// The part of the old file a window's suffix array is built over, and the part of the new file
// matched against it.
struct Window {
  uint64_t oldBegin, oldEnd, newBegin, newEnd;
};

// One window for an old file that fits; otherwise windows that step through both files side by
// side, each overlapping its neighbours so that content moved a little still finds its match.
std::vector<Window> PlanWindows(uint64_t oldSize, uint64_t newSize, uint64_t window) {
  if (oldSize <= window) return {{0, oldSize, 0, newSize}};
  uint64_t margin = window / 8;
  uint64_t core = window - 2 * margin;
  uint64_t count = (oldSize + core - 1) / core;
  auto newAt = [&](uint64_t k) {
    return k >= count ? newSize
                      : static_cast<uint64_t>(static_cast<unsigned __int128>(k * core) * newSize / oldSize);
  };
  std::vector<Window> windows;
  for (uint64_t k = 0; k < count; ++k) {
    uint64_t begin = k * core;
    windows.push_back({begin > margin ? begin - margin : 0, std::min(oldSize, begin + core + margin), newAt(k),
                       newAt(k + 1)});
  }
  return windows;
}

}  // namespace

std::optional<std::vector<std::byte>> EncodeCoversFile(std::span<const std::byte> oldFile,
                                                       std::span<const std::byte> newFile,
                                                       const EncodeOptions& options, uint64_t& covered) {
  uint64_t window = options.matchWindow ? options.matchWindow : kDefaultMatchWindow;
  CoverList covers;
  for (const Window& w : PlanWindows(oldFile.size(), newFile.size(), window)) {
    if (w.newBegin == w.newEnd || w.oldBegin == w.oldEnd) continue;
    auto old = oldFile.subspan(w.oldBegin, w.oldEnd - w.oldBegin);
    SuffixArray suffixes = SuffixArray::Build(old);
    if (suffixes.empty()) return std::nullopt;
    CoverList found = FindCovers(old, w.oldBegin, suffixes, newFile, w.newBegin, w.newEnd, options.threads);
    covers.insert(covers.end(), found.begin(), found.end());
  }
  covered = 0;
  for (const Cover& cover : covers) covered += cover.length;
  return EncodeCovers(oldFile, newFile, covers, options);
}

Encoded EncodeFile(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                   const EncodeOptions& options) {
  Encoded best{payload::Codec::None, {}};
  auto consider = [&](payload::Codec codec, std::optional<std::vector<std::byte>> data) {
    if (data && (best.codec == payload::Codec::None || data->size() < best.data.size()))
      best = {codec, std::move(*data)};
  };
  uint64_t covered = 0;
  // Without an old file the covers stream is the new file's bytes alone; zstd tunes itself
  // differently when it knows the size, so on smaller files that can still beat plain zstd.
  if (!newFile.empty() && (!oldFile.empty() || newFile.size() <= kPlainAlwaysBytes))
    consider(payload::Codec::Covers, EncodeCoversFile(oldFile, newFile, options, covered));
  if (!oldFile.empty() && !newFile.empty())
    consider(payload::Codec::ReferenceZstd, EncodeReferenceZstd(oldFile, newFile, options));
  if (best.codec == payload::Codec::None || newFile.size() <= kPlainAlwaysBytes || covered < newFile.size() / 2) {
    // Plain zstd wins ties: it is the cheapest to apply.
    auto plain = EncodePlainZstd(newFile, options);
    if (plain && (best.codec == payload::Codec::None || plain->size() <= best.data.size()))
      best = {payload::Codec::PlainZstd, std::move(*plain)};
  }
  return best;
}

}  // namespace codec
