// The block matcher: every aligned block of the old file is hashed into a table; a rolling hash
// over the new file looks each of its positions up there, and a block whose bytes agree is grown
// both ways into an exact match. Positions inside a match found are skipped, so the work follows
// the new file's unexplained bytes rather than the old file's size (beyond hashing it once).
#include "patchw32/codec/block_matcher.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace codec {
namespace {

// The new file is scanned in fixed units, so that the matches do not depend on the thread count.
constexpr uint64_t kScanUnitBytes = uint64_t{16} << 20;
// A block that occurs more often than this in the old file is looked up at its first places only:
// an old file of one block repeated thousands of times would otherwise make every lookup slow.
constexpr size_t kMaxCandidates = 8;
// The index stays within about 8 bytes per block, 128 MiB for up to this many blocks.
constexpr uint64_t kMaxBlocks = uint64_t{1} << 24;
constexpr uint64_t kSmallestBlock = 64;
constexpr uint64_t kHashFactor = 0x9E3779B97F4A7C15ull;
// The rolling hash runs this far ahead of the lookups, to fetch the table's memory in time.
constexpr uint64_t kLookAhead = 16;
// The old file is hashed, and its pages released, this many bytes at a time.
constexpr uint64_t kHashStepBytes = uint64_t{64} << 20;

uint64_t Power(uint64_t base, uint64_t exponent) {
  uint64_t result = 1;
  for (; exponent; exponent >>= 1, base *= base)
    if (exponent & 1) result *= base;
  return result;
}

uint32_t KeyOf(uint64_t hash) {
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9ull;
  hash ^= hash >> 32;
  return static_cast<uint32_t>(hash);
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// The hash of `size` bytes at p, as the rolling hash computes it.
uint64_t HashOf(const uint8_t* p, uint64_t size) {
  uint64_t hash = 0;
  for (uint64_t i = 0; i < size; ++i) hash = hash * kHashFactor + p[i];
  return hash;
}

// The old file's aligned blocks by the key of their hash: entries sorted by key and then by
// block, at most kMaxCandidates per key, found through a directory on the key's top bits.
class BlockIndex {
 public:
  BlockIndex(std::span<const uint8_t> old, uint64_t blockSize, unsigned threads, const ReleasePages& release) {
    uint64_t blocks = old.size() / blockSize;
    std::vector<uint64_t> entries(blocks);
    uint64_t step = std::max<uint64_t>(1, kHashStepBytes / blockSize);
    ForEachSlice(blocks, threads, [&](uint64_t begin, uint64_t end) {
      for (uint64_t from = begin; from < end; from += step) {
        uint64_t to = std::min(end, from + step);
        for (uint64_t k = from; k < to; ++k)
          entries[k] = (uint64_t{KeyOf(HashOf(old.data() + k * blockSize, blockSize))} << 32) | k;
        if (release) release(std::as_bytes(old.subspan(from * blockSize, (to - from) * blockSize)));
      }
    });
    std::sort(entries.begin(), entries.end());
    // Keep the first few places of each key.
    size_t kept = 0, run = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      run = i > 0 && (entries[i] >> 32) == (entries[i - 1] >> 32) ? run + 1 : 0;
      if (run < kMaxCandidates) entries[kept++] = entries[i];
    }
    entries.resize(kept);
    bits_ = 8;
    while (bits_ < 28 && (uint64_t{1} << bits_) < kept) ++bits_;
    directory_.assign((size_t{1} << bits_) + 1, 0);
    for (uint64_t entry : entries) ++directory_[(entry >> 32 >> (32 - bits_)) + 1];
    for (size_t d = 1; d < directory_.size(); ++d) directory_[d] += directory_[d - 1];
    keys_.resize(kept);
    blocks_.resize(kept);
    for (size_t i = 0; i < kept; ++i) {
      keys_[i] = static_cast<uint32_t>(entries[i] >> 32);
      blocks_[i] = static_cast<uint32_t>(entries[i]);
    }
  }

  void Prefetch(uint32_t key) const { __builtin_prefetch(&directory_[key >> (32 - bits_)]); }

  // Calls `use(block)` for each indexed block whose key is `key`, lowest first.
  template <typename Use>
  void ForEach(uint32_t key, Use use) const {
    size_t d = key >> (32 - bits_);
    for (uint32_t i = directory_[d], end = directory_[d + 1]; i < end; ++i)
      if (keys_[i] == key) use(uint64_t{blocks_[i]});
  }

  // Runs work(begin, end) over [0, count) in as many slices as threads, side by side.
  template <typename Work>
  static void ForEachSlice(uint64_t count, unsigned threads, Work work) {
    unsigned slices = std::max(1u, threads);
    std::vector<std::thread> pool;
    for (unsigned s = 1; s < slices; ++s) pool.emplace_back(work, count * s / slices, count * (s + 1) / slices);
    work(0, count / slices);
    for (auto& thread : pool) thread.join();
  }

 private:
  unsigned bits_ = 8;
  std::vector<uint32_t> directory_;
  std::vector<uint32_t> keys_;
  std::vector<uint32_t> blocks_;
};

class Scanner {
 public:
  Scanner(std::span<const uint8_t> old, std::span<const uint8_t> newFile, uint64_t blockSize, const BlockIndex& index)
      : old_(old), new_(newFile), block_(blockSize), index_(index), outPower_(Power(kHashFactor, blockSize - 1)) {}

  // Matches found from positions in [begin, end); each grows forward to `end` at most (or a block
  // past a position near it) and backward to `begin` at most.
  void Scan(uint64_t begin, uint64_t end, CoverList& found) const {
    if (new_.size() < block_) return;
    uint64_t lastStart = std::min(end, new_.size() - block_ + 1);  // positions with a whole block
    uint64_t floor = begin;
    int64_t lastShift = 0;
    uint64_t p = begin;
    while (p < lastStart) {
      uint64_t hash = HashOf(new_.data() + p, block_);
      uint64_t ahead = p + kLookAhead < lastStart ? HashOf(new_.data() + p + kLookAhead, block_) : 0;
      bool matched = false;
      for (;;) {
        if (p + kLookAhead < lastStart) index_.Prefetch(KeyOf(ahead));
        Cover best;
        index_.ForEach(KeyOf(hash), [&](uint64_t block) {
          Cover match;
          if (Grow(p, block * block_, floor, std::max(end, p + block_), match) && Better(match, best, lastShift))
            best = match;
        });
        if (best.length > 0) {
          found.push_back(best);
          lastShift = static_cast<int64_t>(best.oldOffset) - static_cast<int64_t>(best.newOffset);
          floor = p = best.newOffset + best.length;
          matched = true;
          break;
        }
        if (p + 1 >= lastStart) break;
        hash = (hash - outPower_ * new_[p]) * kHashFactor + new_[p + block_];
        if (p + 1 + kLookAhead < lastStart)
          ahead = (ahead - outPower_ * new_[p + kLookAhead]) * kHashFactor + new_[p + kLookAhead + block_];
        ++p;
      }
      if (!matched) break;
    }
  }

 private:
  // The exact match through new[p, p + block) and old[o, o + block), if those are equal.
  bool Grow(uint64_t p, uint64_t o, uint64_t floor, uint64_t limit, Cover& match) const {
    if (std::memcmp(new_.data() + p, old_.data() + o, block_) != 0) return false;
    uint64_t last = std::min<uint64_t>(new_.size(), limit);
    last = std::min<uint64_t>(last, p + (old_.size() - o));
    uint64_t at = p + block_;
    int64_t shift = static_cast<int64_t>(o) - static_cast<int64_t>(p);
    while (at + 8 <= last && Load64(new_.data() + at) == Load64(old_.data() + (at + shift))) at += 8;
    while (at < last && new_[at] == old_[at + shift]) ++at;
    uint64_t start = p, lowest = std::max<uint64_t>(floor, o >= p ? 0 : p - o);
    while (start > lowest && new_[start - 1] == old_[start - 1 + shift]) --start;
    match = {start + shift, start, at - start};
    return true;
  }

  // Longer wins; then the alignment nearer the previous match's; then the lower old offset.
  static bool Better(const Cover& a, const Cover& b, int64_t lastShift) {
    if (a.length != b.length) return a.length > b.length;
    auto distance = [&](const Cover& c) {
      int64_t shift = static_cast<int64_t>(c.oldOffset) - static_cast<int64_t>(c.newOffset);
      return shift > lastShift ? static_cast<uint64_t>(shift - lastShift) : static_cast<uint64_t>(lastShift - shift);
    };
    if (distance(a) != distance(b)) return distance(a) < distance(b);
    return a.oldOffset < b.oldOffset;
  }

  std::span<const uint8_t> old_;
  std::span<const uint8_t> new_;
  uint64_t block_;
  const BlockIndex& index_;
  uint64_t outPower_;  // what the byte leaving the hash weighs in it: kHashFactor to the block size less one
};

}  // namespace

uint64_t BlockSizeFor(uint64_t oldSize) {
  uint64_t size = kSmallestBlock;
  while (oldSize / size > kMaxBlocks) size *= 2;
  return size;
}

CoverList FindBlockMatches(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                           uint64_t blockSize, unsigned threads, const ReleasePages& release) {
  if (blockSize == 0 || oldFile.size() < blockSize || newFile.size() < blockSize) return {};
  std::span old(reinterpret_cast<const uint8_t*>(oldFile.data()), oldFile.size());
  std::span neu(reinterpret_cast<const uint8_t*>(newFile.data()), newFile.size());
  BlockIndex index(old, blockSize, threads, release);
  Scanner scanner(old, neu, blockSize, index);
  uint64_t units = (neu.size() + kScanUnitBytes - 1) / kScanUnitBytes;
  std::vector<CoverList> found(units);
  std::atomic<uint64_t> nextUnit{0};
  auto work = [&] {
    for (uint64_t unit; (unit = nextUnit++) < units;) {
      uint64_t begin = unit * kScanUnitBytes, end = std::min<uint64_t>(neu.size(), begin + kScanUnitBytes);
      scanner.Scan(begin, end, found[unit]);
      if (!release) continue;
      // Besides the unit's bytes, lookups and the kernel's reading ahead touch old pages here and
      // there: the whole old file is released.
      release(newFile.subspan(begin, std::min<uint64_t>(neu.size(), end + blockSize) - begin));
      release(oldFile);
    }
  };
  std::vector<std::thread> pool;
  for (unsigned i = 1; i < std::min<uint64_t>(std::max(1u, threads), units); ++i) pool.emplace_back(work);
  work();
  for (auto& thread : pool) thread.join();

  // A match may run past its unit's end into the next unit's first ones: trim those, and join
  // matches that meet under one alignment.
  CoverList matches;
  for (const CoverList& list : found) {
    for (Cover match : list) {
      if (!matches.empty()) {
        Cover& last = matches.back();
        uint64_t lastEnd = last.newOffset + last.length;
        if (match.newOffset + match.length <= lastEnd) continue;
        if (match.newOffset < lastEnd) {
          uint64_t cut = lastEnd - match.newOffset;
          match = {match.oldOffset + cut, lastEnd, match.length - cut};
        }
        if (match.newOffset == lastEnd && last.oldOffset + last.length == match.oldOffset) {
          last.length += match.length;
          continue;
        }
      }
      matches.push_back(match);
    }
  }
  return matches;
}

}  // namespace codec
