// The covers matcher: exact seeds, grown across small differences.
//
// A seed is an exact match for a position of the new file: under one of the alignments (old
// offset minus new offset) recent covers used, or else the longest the suffix array knows. It is
// grown both ways under its alignment while the bytes mostly agree: each equal byte scores one,
// each different byte costs one, and the cover ends where the score peaked once it falls too far
// below that peak. Inside a cover, a mismatch is also a chance to look for another alignment that
// explains clearly more of what follows (code after an inserted function, a moved asset); then the
// cover ends there and the new one begins. A cover far from every recent alignment costs a long
// shift in the stream, so it is kept only when it explains enough to pay for it.
#include "patchw32/codec/cover_finder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <thread>

namespace codec {
namespace {

// Work is cut into fixed units of the new file, so that the covers do not depend on the number
// of threads.
constexpr uint64_t kUnitBytes = uint64_t{8} << 20;
// A search compares at most this many bytes: longer matches are grown by the extension anyway.
constexpr uint64_t kProbeCap = 512;

struct Match {
  uint64_t old = 0;  // in the window
  uint64_t length = 0;
};

struct Seed {
  uint64_t position = 0;  // in the new file
  int64_t shift = 0;      // old offset (in the window) minus new offset
};

// Shifts within this distance of a recent one cost a byte or two to code.
constexpr int64_t kNearShift = 1 << 12;
// How far past a mismatch two alignments are compared.
constexpr uint64_t kHorizon = 64;

// The alignments covers used lately, most recent first: code after an edit usually goes on under
// one of them, or close to one.
class RecentShifts {
 public:
  RecentShifts() { Use(0); }
  void Use(int64_t shift) {
    size_t at = 0;
    while (at < count_ && shifts_[at] != shift) ++at;
    if (at == count_) at = count_ < shifts_.size() ? count_++ : count_ - 1;
    for (; at > 0; --at) shifts_[at] = shifts_[at - 1];
    shifts_[0] = shift;
  }
  std::span<const int64_t> List() const { return std::span(shifts_).first(count_); }
  bool Near(int64_t shift, int64_t distance) const {
    for (int64_t s : List())
      if (s - distance <= shift && shift <= s + distance) return true;
    return false;
  }

 private:
  std::array<int64_t, 8> shifts_{};
  size_t count_ = 0;
};

inline uint64_t Load64(const uint8_t* p) {
  uint64_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// Where the suffixes that begin with each two- or three-byte prefix lie in the suffix array: a
// search starts inside that range. A suffix shorter than the prefix counts as if padded with zero
// bytes; it still sorts first among those of its padded prefix, so each range stays contiguous.
// The bounds take the suffix array's own index type: half the table for any window under 2 GiB.
template <typename Index>
class Buckets {
 public:
  Buckets(std::span<const uint8_t> text, unsigned bytes)
      : bytes_(bytes ? bytes : text.size() >= (uint64_t{1} << 20) ? 3 : 2) {
    begin_.assign((size_t{1} << (8 * bytes_)) + 1, 0);
    for (uint64_t i = 0; i < text.size(); ++i) ++begin_[Key(text.data() + i, text.size() - i) + 1];
    for (size_t k = 1; k < begin_.size(); ++k) begin_[k] += begin_[k - 1];
  }
  unsigned Bytes() const { return bytes_; }
  // The padded prefix of the `length` bytes at p.
  uint32_t Key(const uint8_t* p, uint64_t length) const {
    uint32_t key = 0;
    for (unsigned i = 0; i < bytes_; ++i) key = (key << 8) | (i < length ? p[i] : 0);
    return key;
  }
  uint64_t Begin(uint32_t key) const { return static_cast<uint64_t>(begin_[key]); }
  uint64_t End(uint32_t key) const { return static_cast<uint64_t>(begin_[key + 1]); }

 private:
  unsigned bytes_;
  std::vector<Index> begin_;
};

// A suffix array over old[start, start + text.size()) of the window, its buckets, and the new
// bytes it serves.
template <typename Index>
struct Part {
  uint64_t start;
  std::span<const uint8_t> text;
  std::span<const Index> suffixes;
  Buckets<Index> buckets;
  uint64_t newBegin, newEnd;
};

template <typename Index>
class Matcher {
 public:
  Matcher(std::span<const uint8_t> old, std::vector<const Part<Index>*> parts, std::span<const uint8_t> newFile,
          const MatchTuning& tuning, std::span<const Cover> hints, uint64_t oldBase)
      : old_(old), parts_(std::move(parts)), new_(newFile), tuning_(tuning), hints_(hints), oldBase_(oldBase) {}

  void Scan(uint64_t begin, uint64_t end, CoverList& covers) const {
    uint64_t floor = begin;  // nothing before it may be covered again
    uint64_t position = begin;
    RecentShifts recent;
    bool pending = false;
    Seed next;
    while (position < end) {
      Seed seed;
      if (pending) {
        seed = next;
        pending = false;
      } else if (!FindSeed(position, end, recent, seed)) {
        position += tuning_.stride;
        continue;
      }
      auto [start, backScore] = ExtendBackward(seed.position, seed.shift, floor);
      auto [stop, forwardScore] = ExtendForward(seed.position, seed.shift, end, recent, next, pending);
      // A cover far from every recent alignment costs a long shift change: it must earn it.
      int64_t needed = recent.Near(seed.shift, kNearShift) ? tuning_.minNearScore : tuning_.minFarScore;
      if (stop > start && backScore + forwardScore >= needed) {
        covers.push_back({start + seed.shift, start, stop - start});
        recent.Use(seed.shift);
        floor = stop;
        position = std::max(stop, position + 1);
      } else {
        position = seed.position + tuning_.stride;
      }
    }
  }

 private:
  // The longest exact match in the old window for the new bytes at `position` (up to `end`); the
  // first part wins a tie.
  Match Longest(uint64_t position, uint64_t end) const {
    uint64_t length = std::min(end - position, kProbeCap);
    Match best;
    for (const Part<Index>* part : parts_) {
      if (position < part->newBegin || position >= part->newEnd) continue;
      Match match = LongestIn(*part, new_.data() + position, length);
      if (match.length > best.length) best = {part->start + match.old, match.length};
    }
    return best;
  }

  Match LongestIn(const Part<Index>& part, const uint8_t* pattern, uint64_t length) const {
    const Buckets<Index>& buckets = part.buckets;
    if (length < buckets.Bytes()) return {};
    uint32_t key = buckets.Key(pattern, length);
    uint64_t lo = buckets.Begin(key);
    uint64_t hi = buckets.End(key);
    if (lo == hi) return {};
    auto suffixes = part.suffixes;
    auto text = part.text;
    uint64_t known = buckets.Bytes();
    // Binary search, skipping the prefix that both bounds are known to share with the pattern.
    uint64_t left = lo, right = hi - 1;
    uint64_t leftCommon = Common(text, pattern, length, suffixes[left], known);
    if (leftCommon == length) return {static_cast<uint64_t>(suffixes[left]), length};
    uint64_t rightCommon = Common(text, pattern, length, suffixes[right], known);
    if (rightCommon == length) return {static_cast<uint64_t>(suffixes[right]), length};
    while (right - left > 1) {
      uint64_t middle = left + (right - left) / 2;
      uint64_t suffix = static_cast<uint64_t>(suffixes[middle]);
      uint64_t common = Common(text, pattern, length, suffix, std::min(leftCommon, rightCommon));
      if (common == length) return {suffix, length};
      bool suffixSmaller = suffix + common == text.size() || text[suffix + common] < pattern[common];
      if (suffixSmaller) {
        left = middle;
        leftCommon = common;
      } else {
        right = middle;
        rightCommon = common;
      }
    }
    if (leftCommon >= rightCommon) return {static_cast<uint64_t>(suffixes[left]), leftCommon};
    return {static_cast<uint64_t>(suffixes[right]), rightCommon};
  }

  // How many bytes from `from` on the pattern shares with the suffix of `text` at `suffix`.
  static uint64_t Common(std::span<const uint8_t> text, const uint8_t* pattern, uint64_t length, uint64_t suffix,
                         uint64_t from) {
    uint64_t limit = std::min<uint64_t>(length, text.size() - suffix);
    uint64_t i = std::min(from, limit);
    const uint8_t* at = text.data() + suffix;
    while (i + 8 <= limit && Load64(pattern + i) == Load64(at + i)) i += 8;
    while (i < limit && pattern[i] == at[i]) ++i;
    return i;
  }

  // The new-file range [lo, hi) inside which alignment `shift` stays inside the old window.
  std::pair<uint64_t, uint64_t> Reach(int64_t shift) const {
    int64_t lo = std::max<int64_t>(0, -shift);
    int64_t hi = static_cast<int64_t>(old_.size()) - shift;
    return {static_cast<uint64_t>(lo), static_cast<uint64_t>(std::max(lo, hi))};
  }

  // How many new bytes from `position` on equal the old ones under `shift`, up to `limit`.
  uint64_t ExactUnder(uint64_t position, int64_t shift, uint64_t limit) const {
    auto [lo, hi] = Reach(shift);
    if (position < lo) return 0;
    uint64_t last = std::min({limit, hi, position + kProbeCap});
    uint64_t at = position;
    while (at + 8 <= last && Load64(new_.data() + at) == Load64(old_.data() + (at + shift))) at += 8;
    while (at < last && new_[at] == old_[at + shift]) ++at;
    return at > position ? at - position : 0;
  }

  // The best place to start a cover at `position`: a recent alignment that goes on here, or the
  // longest exact match the suffix array knows, which must be clearly longer to be taken.
  bool FindSeed(uint64_t position, uint64_t end, const RecentShifts& recent, Seed& seed) const {
    uint64_t best = 0;
    auto tryShift = [&](int64_t shift) {
      uint64_t length = ExactUnder(position, shift, end);
      if (length >= tuning_.minNear && length > best) {
        best = length;
        seed = {position, shift};
      }
    };
    for (int64_t shift : recent.List()) tryShift(shift);
    for (int64_t shift : HintShifts(position)) tryShift(shift);
    Match match = Longest(position, end);
    if (match.length >= tuning_.minSeed) {
      int64_t shift = static_cast<int64_t>(match.old) - static_cast<int64_t>(position);
      uint64_t penalty = recent.Near(shift, kNearShift) ? 0 : tuning_.farPenalty;
      if (match.length >= best + penalty + 1 || best == 0) {
        best = match.length;
        seed = {position, shift};
      }
    }
    return best > 0;
  }

  // Grows a cover backward from `position`, not below `floor`; returns where it starts and its score.
  std::pair<uint64_t, int64_t> ExtendBackward(uint64_t position, int64_t shift, uint64_t floor) const {
    uint64_t lowest = std::max(floor, Reach(shift).first);
    int64_t score = 0, best = 0;
    uint64_t bestStart = position;
    for (uint64_t at = position; at > lowest; --at) {
      if (new_[at - 1] == old_[at - 1 + shift]) {
        if (++score > best) {
          best = score;
          bestStart = at - 1;
        }
      } else if (best - --score > tuning_.giveUp) {
        break;
      }
    }
    return {bestStart, best};
  }

  // Grows the cover forward from `position`; returns where it ends and its score. When it ends
  // because another alignment explains more from some point on, that seed is handed back in `next`.
  std::pair<uint64_t, int64_t> ExtendForward(uint64_t position, int64_t shift, uint64_t end,
                                             const RecentShifts& recent, Seed& next, bool& switched) const {
    uint64_t stop = std::min(end, Reach(shift).second);
    int64_t score = 0, best = 0;
    uint64_t bestEnd = position;
    uint64_t nextProbe = position;
    uint64_t at = position;
    while (at < stop) {
      uint64_t run = at;
      while (run + 8 <= stop && Load64(new_.data() + run) == Load64(old_.data() + (run + shift))) run += 8;
      while (run < stop && new_[run] == old_[run + shift]) ++run;
      score += static_cast<int64_t>(run - at);
      at = run;
      if (score > best) {
        best = score;
        bestEnd = at;
      }
      if (at == stop) break;
      if (at >= nextProbe) {
        if (BetterAlignment(at, shift, end, stop, recent, next)) {
          switched = true;
          return {bestEnd, best};
        }
        nextProbe = at + tuning_.probeSkip;
      }
      ++at;
      if (best - --score > tuning_.giveUp) break;
    }
    return {bestEnd, best};
  }

  // At a mismatch under `shift`: is there an alignment that explains clearly more of what follows?
  bool BetterAlignment(uint64_t at, int64_t shift, uint64_t end, uint64_t stop, const RecentShifts& recent,
                       Seed& next) const {
    uint64_t horizon = std::min(end, at + kHorizon);
    int64_t current = static_cast<int64_t>(Agreeing(at, shift, horizon));
    int64_t bestGain = 0;
    auto consider = [&](int64_t candidate, int64_t penalty) {
      if (candidate == shift) return;
      int64_t gain = static_cast<int64_t>(Agreeing(at, candidate, horizon)) - current - penalty;
      if (gain >= static_cast<int64_t>(tuning_.switchGain) && gain > bestGain) {
        bestGain = gain;
        next = {at, candidate};
      }
    };
    for (int64_t candidate : recent.List())
      if (ExactUnder(at, candidate, end) >= 4) consider(candidate, 0);
    for (int64_t candidate : HintShifts(at))
      if (ExactUnder(at, candidate, end) >= 4)
        consider(candidate, recent.Near(candidate, kNearShift) ? 0 : static_cast<int64_t>(tuning_.farPenalty));
    Match match = Longest(at, end);
    if (match.length >= tuning_.minNear) {
      int64_t candidate = static_cast<int64_t>(match.old) - static_cast<int64_t>(at);
      bool near = recent.Near(candidate, kNearShift);
      if (near || match.length >= tuning_.minSeed)
        consider(candidate, near ? 0 : static_cast<int64_t>(tuning_.farPenalty));
    }
    return bestGain > 0;
  }

  // How many of the new bytes in [position, last) alignment `shift` explains.
  uint64_t Agreeing(uint64_t position, int64_t shift, uint64_t last) const {
    auto [lo, hi] = Reach(shift);
    uint64_t from = std::max(position, lo);
    last = std::min(last, hi);
    uint64_t equal = 0;
    for (uint64_t i = from; i < last; ++i) equal += new_[i] == old_[i + shift];
    return equal;
  }

  // The alignments (in the window) of the known matches around `position`: the one that holds it
  // or comes next, and the one before; none when no hints were given.
  std::span<const int64_t> HintShifts(uint64_t position) const {
    hintShifts_.clear();
    auto next = std::partition_point(hints_.begin(), hints_.end(),
                                     [&](const Cover& c) { return c.newOffset + c.length <= position; });
    auto add = [&](const Cover& c) {
      hintShifts_.push_back(static_cast<int64_t>(c.oldOffset - oldBase_) - static_cast<int64_t>(c.newOffset));
    };
    if (next != hints_.end() && next->oldOffset >= oldBase_) add(*next);
    if (next != hints_.begin() && std::prev(next)->oldOffset >= oldBase_) add(*std::prev(next));
    return hintShifts_;
  }

  std::span<const uint8_t> old_;
  std::vector<const Part<Index>*> parts_;
  std::span<const uint8_t> new_;
  const MatchTuning& tuning_;
  std::span<const Cover> hints_;
  uint64_t oldBase_;
  mutable std::vector<int64_t> hintShifts_;
};

template <typename Index>
CoverList FindWith(std::span<const uint8_t> old, uint64_t oldBase, std::span<const IndexedPart> indexed,
                   std::span<const uint8_t> newFile, uint64_t newBegin, uint64_t newEnd, unsigned threads,
                   const MatchTuning& tuning, std::span<const Cover> hints) {
  std::vector<Part<Index>> parts;
  for (const IndexedPart& p : indexed) {
    auto text = old.subspan(p.start, p.suffixes->size());
    std::span<const Index> suffixes;
    if constexpr (sizeof(Index) == 4) suffixes = p.suffixes->Narrow();
    else suffixes = p.suffixes->Wide();
    parts.push_back({p.start, text, suffixes, Buckets<Index>(text, p.bucketBytes), p.newBegin, p.newEnd});
  }
  uint64_t units = (newEnd - newBegin + kUnitBytes - 1) / kUnitBytes;
  std::vector<CoverList> found(units);
  std::atomic<uint64_t> nextUnit{0};
  auto work = [&] {
    for (uint64_t unit; (unit = nextUnit++) < units;) {
      uint64_t begin = newBegin + unit * kUnitBytes;
      uint64_t end = std::min(newEnd, begin + kUnitBytes);
      // Each unit searches only the parts that serve some of its bytes.
      std::vector<const Part<Index>*> serving;
      for (const auto& part : parts)
        if (part.newBegin < end && part.newEnd > begin) serving.push_back(&part);
      Matcher<Index> matcher(old, std::move(serving), newFile, tuning, hints, oldBase);
      matcher.Scan(begin, end, found[unit]);
    }
  };
  unsigned workers = static_cast<unsigned>(std::clamp<uint64_t>(threads, 1, std::max<uint64_t>(units, 1)));
  std::vector<std::thread> pool;
  for (unsigned i = 1; i < workers; ++i) pool.emplace_back(work);
  work();
  for (auto& thread : pool) thread.join();

  // Join the units.
  CoverList covers;
  for (auto& list : found) {
    for (Cover cover : list) {
      cover.oldOffset += oldBase;
      AppendJoined(covers, cover);
    }
  }
  return covers;
}

}  // namespace

void AppendJoined(CoverList& covers, const Cover& cover) {
  if (!covers.empty()) {
    Cover& last = covers.back();
    if (last.newOffset + last.length == cover.newOffset && last.oldOffset + last.length == cover.oldOffset) {
      last.length += cover.length;
      return;
    }
  }
  covers.push_back(cover);
}

CoverList FindCovers(std::span<const std::byte> old, uint64_t oldBase, std::span<const IndexedPart> parts,
                     std::span<const std::byte> newFile, uint64_t newBegin, uint64_t newEnd, unsigned threads,
                     const MatchTuning& tuning, std::span<const Cover> hints) {
  if (old.empty() || (parts.empty() && hints.empty()) || newBegin >= newEnd || newEnd > newFile.size()) return {};
  bool narrow = true, wide = true;
  for (const IndexedPart& p : parts) {
    if (!p.suffixes || p.suffixes->empty() || p.start > old.size() || p.suffixes->size() > old.size() - p.start)
      return {};
    narrow = narrow && !p.suffixes->Narrow().empty();
    wide = wide && !p.suffixes->Wide().empty();
  }
  std::span oldBytes(reinterpret_cast<const uint8_t*>(old.data()), old.size());
  std::span newBytes(reinterpret_cast<const uint8_t*>(newFile.data()), newFile.size());
  if (narrow) return FindWith<int32_t>(oldBytes, oldBase, parts, newBytes, newBegin, newEnd, threads, tuning, hints);
  if (wide) return FindWith<int64_t>(oldBytes, oldBase, parts, newBytes, newBegin, newEnd, threads, tuning, hints);
  return {};
}

CoverList FindCovers(std::span<const std::byte> old, uint64_t oldBase, const SuffixArray& suffixes,
                     std::span<const std::byte> newFile, uint64_t newBegin, uint64_t newEnd, unsigned threads,
                     const MatchTuning& tuning) {
  if (suffixes.size() != old.size()) return {};
  IndexedPart whole{0, &suffixes};
  return FindCovers(old, oldBase, std::span(&whole, 1), newFile, newBegin, newEnd, threads, tuning);
}

}  // namespace codec
