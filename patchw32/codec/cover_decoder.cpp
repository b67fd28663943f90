// Applies a covers stream (COVERS.md): reads the old file at each cover's offset, adds the
// differences and writes the new file in one pass, holding one segment's unexplained bytes at most.
#include <algorithm>
#include <vector>

#include "patchw32/codec/branch_filter.h"
#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/frame_reader.h"

namespace codec {
namespace {

constexpr size_t kChunk = size_t{1} << 16;

struct Record {
  uint64_t extraLength;
  uint64_t coverLength;
  uint64_t oldOffset;
};

static_assert(kChunk % kBranchBlockBytes == 0, "output is handed on in whole branch-filter blocks");

// Collects output into one buffer and hands it on full, telling progress as it goes. Every
// buffer handed on but the last is made of whole branch-filter blocks, converted back before it goes.
class Output {
 public:
  Output(const Sink& sink, const Progress& progress, uint64_t total, BranchFilter filter)
      : sink_(sink), progress_(progress), total_(total), filter_(filter), buffer_(kChunk) {}

  std::span<std::byte> Space() { return std::span(buffer_).subspan(used_); }
  DecodeResult Commit(size_t bytes) {
    used_ += bytes;
    return used_ == buffer_.size() ? Flush() : DecodeResult::Ok;
  }
  DecodeResult Flush() {
    if (used_ == 0) return DecodeResult::Ok;
    ConvertFileBlocks(filter_, BranchDirection::Decode, std::span(buffer_.data(), used_), done_);
    if (!sink_(std::span(buffer_.data(), used_))) return DecodeResult::WriteError;
    done_ += used_;
    used_ = 0;
    if (progress_ && !progress_(done_, total_)) return DecodeResult::Stopped;
    return DecodeResult::Ok;
  }

 private:
  const Sink& sink_;
  const Progress& progress_;
  uint64_t total_;
  BranchFilter filter_;
  uint64_t done_ = 0;
  std::vector<std::byte> buffer_;
  size_t used_ = 0;
};

// The old file read in aligned blocks, a few kept: covers that follow each other mostly read
// near one another, so most of them cost no read at all. The branch-filter blocks inside a block
// are converted when first read, so a block read again for a short cover costs little.
class OldFileCache {
 public:
  OldFileCache(const ReadAt& file, uint64_t size, BranchFilter filter)
      : file_(file), size_(size), filter_(filter), data_(kBlocks * kBlock) {
    for (auto& b : blocks_) b = {~uint64_t{0}, 0, 0, 0};
  }

  // old[offset, offset + out.size()), which the caller has checked lies inside the file.
  bool Read(uint64_t offset, std::span<std::byte> out) {
    while (!out.empty()) {
      uint64_t start = offset - offset % kBlock;
      size_t slot = Find(start);
      if (slot == kBlocks) return false;
      size_t inBlock = static_cast<size_t>(offset - start);
      size_t take = std::min(out.size(), kBlock - inBlock);
      ConvertPieces(slot, inBlock, take);
      std::copy_n(data_.data() + slot * kBlock + inBlock, take, out.data());
      out = out.subspan(take);
      offset += take;
    }
    return true;
  }

 private:
  static constexpr size_t kBlock = size_t{1} << 16;
  static constexpr size_t kBlocks = 64;

  size_t Find(uint64_t start) {
    for (size_t i = 0; i < kBlocks; ++i)
      if (blocks_[i].start == start) {
        blocks_[i].used = ++clock_;
        return i;
      }
    size_t victim = 0;
    for (size_t i = 1; i < kBlocks; ++i)
      if (blocks_[i].used < blocks_[victim].used) victim = i;
    size_t length = static_cast<size_t>(std::min<uint64_t>(kBlock, size_ - start));
    blocks_[victim].start = ~uint64_t{0};  // until the read succeeds
    if (!file_(start, std::span(data_.data() + victim * kBlock, length))) return kBlocks;
    blocks_[victim] = {start, ++clock_, length, 0};
    return victim;
  }

  // Converts the branch-filter blocks of slot `slot` that [inBlock, inBlock + length) touches.
  void ConvertPieces(size_t slot, size_t inBlock, size_t length) {
    if (filter_ == BranchFilter::None) return;
    Block& block = blocks_[slot];
    for (size_t piece = inBlock / kBranchBlockBytes; piece * kBranchBlockBytes < inBlock + length; ++piece) {
      uint32_t bit = uint32_t{1} << piece;
      if (block.converted & bit) continue;
      size_t from = piece * kBranchBlockBytes;
      auto bytes = std::span(data_.data() + slot * kBlock + from, std::min(kBranchBlockBytes, block.length - from));
      ConvertBranches(filter_, BranchDirection::Encode, bytes, block.start + from);
      block.converted |= bit;
    }
  }

  struct Block {
    uint64_t start;
    uint64_t used;
    size_t length;       // bytes read: the block's size, or less at the end of the file
    uint32_t converted;  // which of its branch-filter blocks are converted
  };
  static_assert(kBlock / kBranchBlockBytes <= 32, "one bit per branch-filter block");
  const ReadAt& file_;
  uint64_t size_;
  BranchFilter filter_;
  std::vector<std::byte> data_;
  Block blocks_[kBlocks];
  uint64_t clock_ = 0;
};

// Shifts stay far from the ends of int64_t, so adding two never overflows; real files are far
// smaller.
constexpr uint64_t kMaxShift = uint64_t{1} << 61;

// Reads one segment's records, checking each against the segment's bounds, the new bytes still
// owed and the old file. `at` is the new offset the segment starts at; `shift` carries the last
// cover's alignment from one segment to the next.
DecodeResult ReadRecords(FrameReader& reader, uint64_t oldSize, uint64_t at, uint64_t remaining, int64_t& shift,
                         std::vector<Record>& records, uint64_t& extraTotal) {
  uint64_t count = 0;
  if (auto result = reader.ReadVarint(count); result != DecodeResult::Ok) return result;
  if (count == 0 || count > kSegmentMaxRecords) return DecodeResult::CorruptData;
  records.resize(static_cast<size_t>(count));
  uint64_t limit = std::min(remaining, kSegmentMaxBytes);
  uint64_t total = 0;
  extraTotal = 0;
  for (Record& record : records) {
    if (auto r = reader.ReadVarint(record.extraLength); r != DecodeResult::Ok) return r;
    if (record.extraLength > limit - total) return DecodeResult::CorruptData;
    total += record.extraLength;
    extraTotal += record.extraLength;
  }
  for (Record& record : records) {
    if (auto r = reader.ReadVarint(record.coverLength); r != DecodeResult::Ok) return r;
    if (record.coverLength > limit - total) return DecodeResult::CorruptData;
    total += record.coverLength;
  }
  // Every segment moves the output on, so a stream cannot spin without end.
  if (total == 0) return DecodeResult::CorruptData;
  for (Record& record : records) {
    uint64_t change = 0;
    if (auto r = reader.ReadVarint(change); r != DecodeResult::Ok) return r;
    // Zigzag: even numbers are changes up, odd ones down.
    uint64_t magnitude = change >> 1;
    if (magnitude >= kMaxShift) return DecodeResult::CorruptData;
    shift += (change & 1) ? -static_cast<int64_t>(magnitude) - 1 : static_cast<int64_t>(magnitude);
    if (shift > static_cast<int64_t>(kMaxShift) || shift < -static_cast<int64_t>(kMaxShift))
      return DecodeResult::CorruptData;
    uint64_t coverStart = at + record.extraLength;
    at = coverStart + record.coverLength;
    if (record.coverLength == 0) continue;
    if (shift < 0) {
      uint64_t back = static_cast<uint64_t>(-shift);
      if (coverStart < back) return DecodeResult::CorruptData;
      record.oldOffset = coverStart - back;
    } else {
      uint64_t forward = static_cast<uint64_t>(shift);
      if (forward > oldSize || coverStart > oldSize - forward) return DecodeResult::CorruptData;
      record.oldOffset = coverStart + forward;
    }
    if (record.coverLength > oldSize - record.oldOffset) return DecodeResult::CorruptData;
  }
  return DecodeResult::Ok;
}

}  // namespace

DecodeResult DecodeCovers(const ReadAt& block, uint64_t blockLength, const ReadAt& oldFile, uint64_t oldSize,
                          uint64_t newSize, const Sink& sink, const Progress& progress, BranchFilter filter) {
  FrameReader reader(block, blockLength);
  Output output(sink, progress, newSize, filter);
  std::vector<Record> records;
  std::vector<std::byte> extras;
  std::vector<std::byte> oldBytes(kChunk);
  OldFileCache old(oldFile, oldSize, filter);
  int64_t shift = 0;
  for (uint64_t produced = 0; produced < newSize;) {
    uint64_t extraTotal = 0;
    if (auto r = ReadRecords(reader, oldSize, produced, newSize - produced, shift, records, extraTotal);
        r != DecodeResult::Ok)
      return r;
    extras.resize(static_cast<size_t>(extraTotal));
    if (auto r = reader.Read(extras); r != DecodeResult::Ok) return r;
    size_t extraPos = 0;
    for (const Record& record : records) {
      for (uint64_t left = record.extraLength; left > 0;) {
        auto space = output.Space();
        size_t take = static_cast<size_t>(std::min<uint64_t>(space.size(), left));
        std::copy_n(extras.data() + extraPos, take, space.data());
        extraPos += take;
        left -= take;
        if (auto r = output.Commit(take); r != DecodeResult::Ok) return r;
      }
      for (uint64_t done = 0; done < record.coverLength;) {
        auto space = output.Space();
        size_t take = static_cast<size_t>(std::min<uint64_t>(space.size(), record.coverLength - done));
        auto source = std::span(oldBytes.data(), take);
        if (!old.Read(record.oldOffset + done, source)) return DecodeResult::ReadError;
        auto out = space.first(take);
        if (auto r = reader.Read(out); r != DecodeResult::Ok) return r;
        auto* sum = reinterpret_cast<uint8_t*>(out.data());
        auto* from = reinterpret_cast<const uint8_t*>(source.data());
        for (size_t i = 0; i < take; ++i) sum[i] = static_cast<uint8_t>(sum[i] + from[i]);
        done += take;
        if (auto r = output.Commit(take); r != DecodeResult::Ok) return r;
      }
      produced += record.extraLength + record.coverLength;
    }
  }
  if (auto r = output.Flush(); r != DecodeResult::Ok) return r;
  return reader.Finish();
}

}  // namespace codec
