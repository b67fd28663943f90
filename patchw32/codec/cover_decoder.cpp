// Applies a covers stream (COVERS.md): reads the old file at each cover's offset, adds the
// differences and writes the new file in one pass, holding one segment's unexplained bytes at most;
// the stream is decompressed on a second thread meanwhile.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "patchw32/codec/branch_filter.h"
#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/frame_reader.h"

namespace codec {
namespace {

// Lengths are at most a segment's bytes, so a record keeps them in 32 bits (kRecordBytes).
struct Record {
  uint32_t extraLength;
  uint32_t coverLength;
  uint64_t oldOffset;
};
static_assert(sizeof(Record) == kRecordBytes);
static_assert(kSegmentMaxBytes <= UINT32_MAX);

// The smaller of `bound` and `need` rounded up to whole branch-filter blocks (`bound` is made of
// them); `need` may be any 64-bit number a hostile block names.
uint64_t WholeBlocksUpTo(uint64_t bound, uint64_t need) {
  uint64_t capped = std::min(bound, need);
  return (capped + kBranchBlockBytes - 1) / kBranchBlockBytes * kBranchBlockBytes;
}

// Collects output into one buffer and hands it on full, telling progress as it goes. Every
// buffer handed on but the last is made of whole branch-filter blocks, converted back before it
// goes. The buffer is no larger than the new file.
class Output {
 public:
  Output(const Sink& sink, const Progress& progress, uint64_t total, BranchFilter filter)
      : sink_(sink), progress_(progress), total_(total), filter_(filter),
        buffer_(static_cast<size_t>(WholeBlocksUpTo(kOutputChunkBytes, total))) {}

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
  static_assert(kOutputChunkBytes % kBranchBlockBytes == 0, "output is handed on in whole branch-filter blocks");
  const Sink& sink_;
  const Progress& progress_;
  uint64_t total_;
  BranchFilter filter_;
  uint64_t done_ = 0;
  std::vector<std::byte> buffer_;
  size_t used_ = 0;
};

// The old file kept in small aligned blocks (one branch-filter block each), set-associative:
// covers between releases are mostly short and hop between many places of the old file, which a
// few large blocks would read again and again. A miss reads the blocks the cover still needs, up to
// the end of the cache's row, in one read, so a long cover still reads the old file in long reads.
// Each block is converted once, as it is read. Blocks and their number are no larger than the old
// file needs; together they hold kOldBlocks * kOldBlockBytes (codec_limits.h).
class OldFileCache {
 public:
  OldFileCache(const ReadAt& file, uint64_t size, BranchFilter filter)
      : file_(file), size_(size), filter_(filter) {
    uint64_t fileBlocks = (size + kBlockBytes - 1) / kBlockBytes;
    size_t slots = static_cast<size_t>(std::min<uint64_t>(kOldBlocks * kOldBlockBytes / kBlockBytes, fileBlocks));
    ways_ = std::min(kWays, slots);
    sets_ = ways_ == 0 ? 0 : slots / ways_;
    tags_.assign(ways_ * sets_, kEmpty);
    used_.assign(ways_ * sets_, 0);
    data_ = std::make_unique_for_overwrite<std::byte[]>(ways_ * sets_ * kBlockBytes);
  }

  // old[offset, offset + n) for the largest n <= most that stays inside one block; empty when the
  // read failed. The caller has checked that [offset, offset + most) lies inside the file.
  std::span<const std::byte> Bytes(uint64_t offset, size_t most) {
    uint64_t block = offset / kBlockBytes;
    size_t inBlock = static_cast<size_t>(offset % kBlockBytes);
    size_t slot = Find(block);
    if (slot == kNone) {
      slot = Load(block, (inBlock + most - 1) / kBlockBytes);
      if (slot == kNone) return {};
    }
    used_[slot] = ++clock_;
    size_t length = static_cast<size_t>(std::min<uint64_t>(kBlockBytes, size_ - block * kBlockBytes));
    return {data_.get() + slot * kBlockBytes + inBlock, std::min(most, length - inBlock)};
  }

 private:
  static constexpr size_t kBlockBytes = kBranchBlockBytes;
  static constexpr size_t kWays = 4;
  static constexpr uint64_t kEmpty = ~uint64_t{0};
  static constexpr size_t kNone = ~size_t{0};
  static_assert(kOldBlockBytes % kBlockBytes == 0, "the cache holds whole branch-filter blocks");

  // Slots are laid out way by way, so that one way's slots of consecutive sets, which hold
  // consecutive blocks, are one stretch of memory that a single read fills.
  size_t SlotOf(size_t way, size_t set) const { return way * sets_ + set; }

  // Consecutive blocks go to consecutive sets, but each row's worth of blocks starts at its own
  // set, so that places of the old file a multiple of a row apart do not all crowd into one set.
  size_t SetOf(uint64_t block) const {
    uint64_t skew = ((block / sets_) * 0x9E3779B97F4A7C15ull) >> 32;
    return static_cast<size_t>((block + skew) % sets_);
  }

  size_t Find(uint64_t block) const {
    size_t set = SetOf(block);
    for (size_t way = 0; way < ways_; ++way)
      if (tags_[SlotOf(way, set)] == block) return SlotOf(way, set);
    return kNone;
  }

  // Reads `block` and up to `more` blocks after it that are not held yet, stopping where the sets
  // or the row end and at the file's end, into the least recently used way of the first block's
  // set (and the same way of the sets after it).
  size_t Load(uint64_t block, uint64_t more) {
    size_t set = SetOf(block);
    size_t way = 0;
    for (size_t w = 1; w < ways_; ++w)
      if (used_[SlotOf(w, set)] < used_[SlotOf(way, set)]) way = w;
    uint64_t fileBlocks = (size_ + kBlockBytes - 1) / kBlockBytes;
    uint64_t count = 1;
    uint64_t most = std::min<uint64_t>({more + 1, sets_ - set, sets_ - block % sets_, fileBlocks - block});
    while (count < most && Find(block + count) == kNone) ++count;
    size_t first = SlotOf(way, set);
    uint64_t from = block * kBlockBytes;
    size_t length = static_cast<size_t>(std::min<uint64_t>(count * kBlockBytes, size_ - from));
    for (uint64_t i = 0; i < count; ++i) tags_[first + i] = kEmpty;  // until the read succeeds
    std::byte* bytes = data_.get() + first * kBlockBytes;
    if (!file_(from, std::span(bytes, length))) return kNone;
    ConvertFileBlocks(filter_, BranchDirection::Encode, std::span(bytes, length), from);
    for (uint64_t i = 0; i < count; ++i) {
      tags_[first + i] = block + i;
      used_[first + i] = clock_;
    }
    return first;
  }

  const ReadAt& file_;
  uint64_t size_;
  BranchFilter filter_;
  size_t ways_ = 0;
  size_t sets_ = 0;
  std::vector<uint64_t> tags_;  // the block each slot holds, or kEmpty
  std::vector<uint64_t> used_;  // when each slot was last used
  std::unique_ptr<std::byte[]> data_;
  uint64_t clock_ = 0;
};

// Sizes a segment's vector to `n` without holding the last segment's buffer and a larger one at
// once: what the last segment held is not needed.
template <typename T>
void SizeForSegment(std::vector<T>& v, size_t n) {
  if (n > v.capacity()) v = std::vector<T>();
  v.resize(n);
}

// A segment's extra bytes, read whole before its covers: the buffer keeps the largest size asked
// for so far and is not cleared, since the stream fills every byte taken.
class ExtraBytes {
 public:
  std::span<std::byte> Take(size_t n) {
    if (n > capacity_) {
      data_.reset();  // not held together with the larger one
      data_ = std::make_unique_for_overwrite<std::byte[]>(n);
      capacity_ = n;
    }
    return {data_.get(), n};
  }

 private:
  std::unique_ptr<std::byte[]> data_;
  size_t capacity_ = 0;
};

// to[i] += from[i] modulo 256, sixteen bytes at a time: a vector add of bytes where the target has
// one (SSE2 on x86-64), else the compiler's lowering of it.
void AddBytes(std::byte* to, const std::byte* from, size_t n) {
  using Sixteen = uint8_t __attribute__((vector_size(16)));
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    Sixteen a, b;
    std::memcpy(&a, to + i, 16);
    std::memcpy(&b, from + i, 16);
    a += b;
    std::memcpy(to + i, &a, 16);
  }
  for (; i < n; ++i) to[i] = static_cast<std::byte>(static_cast<uint8_t>(to[i]) + static_cast<uint8_t>(from[i]));
}

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
  SizeForSegment(records, static_cast<size_t>(count));
  uint64_t limit = std::min(remaining, kSegmentMaxBytes);
  uint64_t total = 0;
  extraTotal = 0;
  for (Record& record : records) {
    uint64_t length = 0;
    if (auto r = reader.ReadVarint(length); r != DecodeResult::Ok) return r;
    if (length > limit - total) return DecodeResult::CorruptData;
    record.extraLength = static_cast<uint32_t>(length);
    total += length;
    extraTotal += length;
  }
  for (Record& record : records) {
    uint64_t length = 0;
    if (auto r = reader.ReadVarint(length); r != DecodeResult::Ok) return r;
    if (length > limit - total) return DecodeResult::CorruptData;
    record.coverLength = static_cast<uint32_t>(length);
    total += length;
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

// The covers stream decompressed on a second thread, while the decoder adds the old file's bytes,
// converts and writes on its own: zstd is about a third of a decode's work. The feed reads a
// segment's records when the decoder asks for them (so that one segment's records are held, as
// without it), then hands its bytes on in a few small chunks. Only the feed's thread reads the
// block; the sink, the progress and the old file are called on the decoder's thread alone.
class StreamFeed {
 public:
  StreamFeed(const ReadAt& block, uint64_t blockLength, uint64_t oldSize, uint64_t newSize)
      : chunks_(std::make_unique_for_overwrite<std::byte[]>(kChunks * kChunkBytes)) {
    for (size_t i = 0; i < kChunks; ++i) free_.push_back(i);
    thread_ = std::thread([=, this, &block] { Produce(block, blockLength, oldSize, newSize); });
  }
  ~StreamFeed() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  StreamFeed(const StreamFeed&) = delete;
  StreamFeed& operator=(const StreamFeed&) = delete;

  // The next segment's records and its extra bytes' total, valid until the next call.
  DecodeResult NextSegment(const std::vector<Record>*& records, uint64_t& extraTotal) {
    std::unique_lock lock(mutex_);
    wantRecords_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return recordsReady_ || ended_; });
    if (!recordsReady_) return EndedEarly();
    recordsReady_ = false;
    records = &records_;
    extraTotal = extraTotal_;
    return DecodeResult::Ok;
  }

  // Exactly out.size() of the segment's bytes, in stream order.
  DecodeResult Take(std::span<std::byte> out) {
    while (!out.empty()) {
      if (left_ == 0) {
        std::unique_lock lock(mutex_);
        if (current_ != kNoChunk) {
          free_.push_back(current_);
          current_ = kNoChunk;
          changed_.notify_all();
        }
        changed_.wait(lock, [&] { return !full_.empty() || ended_; });
        if (full_.empty()) return EndedEarly();
        std::tie(current_, left_) = full_.front();
        full_.pop_front();
        at_ = current_ * kChunkBytes;
      }
      size_t take = std::min(out.size(), left_);
      std::memcpy(out.data(), chunks_.get() + at_, take);
      out = out.subspan(take);
      at_ += take;
      left_ -= take;
    }
    return DecodeResult::Ok;
  }

  // The stream's end as FrameReader::Finish sees it, once every segment was taken.
  DecodeResult Finish() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ended_; });
    if (error_) std::rethrow_exception(error_);
    return result_;
  }

 private:
  static constexpr size_t kChunks = kStreamFeedChunks;
  static constexpr size_t kChunkBytes = kStreamFeedChunkBytes;
  static constexpr size_t kNoChunk = ~size_t{0};

  // What the feed's thread met before the decoder had what it asked for.
  DecodeResult EndedEarly() {
    if (error_) std::rethrow_exception(error_);
    return result_ == DecodeResult::Ok ? DecodeResult::CorruptData : result_;
  }

  void End(DecodeResult result, std::exception_ptr error = nullptr) {
    {
      std::lock_guard lock(mutex_);
      ended_ = true;
      result_ = result;
      error_ = error;
    }
    changed_.notify_all();
  }

  void Produce(const ReadAt& block, uint64_t blockLength, uint64_t oldSize, uint64_t newSize) {
    try {
      FrameReader reader(block, blockLength, CoversWindowLog(newSize));
      int64_t shift = 0;
      for (uint64_t produced = 0; produced < newSize;) {
        {
          std::unique_lock lock(mutex_);
          changed_.wait(lock, [&] { return wantRecords_ || stop_; });
          if (stop_) return;
          wantRecords_ = false;
        }
        // The decoder is done with the last segment's records and waits for these.
        uint64_t extraTotal = 0;
        if (auto r = ReadRecords(reader, oldSize, produced, newSize - produced, shift, records_, extraTotal);
            r != DecodeResult::Ok)
          return End(r);
        uint64_t bytes = extraTotal;
        for (const Record& record : records_) bytes += record.coverLength;
        {
          std::lock_guard lock(mutex_);
          extraTotal_ = extraTotal;
          recordsReady_ = true;
        }
        changed_.notify_all();
        for (uint64_t left = bytes; left > 0;) {
          size_t chunk = 0;
          {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !free_.empty() || stop_; });
            if (stop_) return;
            chunk = free_.back();
            free_.pop_back();
          }
          size_t length = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, left));
          if (auto r = reader.Read(std::span(chunks_.get() + chunk * kChunkBytes, length)); r != DecodeResult::Ok)
            return End(r);
          {
            std::lock_guard lock(mutex_);
            full_.emplace_back(chunk, length);
          }
          changed_.notify_all();
          left -= length;
        }
        produced += bytes;
      }
      End(reader.Finish());
    } catch (...) {
      End(DecodeResult::CorruptData, std::current_exception());
    }
  }

  std::unique_ptr<std::byte[]> chunks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;          // the decoder is done, whatever the stream holds
  bool wantRecords_ = false;   // the decoder asks for the next segment
  bool recordsReady_ = false;  // records_ and extraTotal_ hold it
  std::vector<Record> records_;
  uint64_t extraTotal_ = 0;
  std::vector<size_t> free_;                    // chunks the feed may fill
  std::deque<std::pair<size_t, size_t>> full_;  // chunks filled, and their lengths, in order
  bool ended_ = false;
  DecodeResult result_ = DecodeResult::Ok;
  std::exception_ptr error_;
  // The decoder's side: the chunk it takes from.
  size_t current_ = kNoChunk;
  size_t at_ = 0;
  size_t left_ = 0;
  std::thread thread_;  // last: started once everything it uses is built
};

}  // namespace

DecodeResult DecodeCovers(const ReadAt& block, uint64_t blockLength, const ReadAt& oldFile, uint64_t oldSize,
                          uint64_t newSize, const Sink& sink, const Progress& progress, BranchFilter filter) {
  Output output(sink, progress, newSize, filter);
  ExtraBytes extraBytes;
  OldFileCache old(oldFile, oldSize, filter);
  StreamFeed feed(block, blockLength, oldSize, newSize);
  for (uint64_t produced = 0; produced < newSize;) {
    const std::vector<Record>* records = nullptr;
    uint64_t extraTotal = 0;
    if (auto r = feed.NextSegment(records, extraTotal); r != DecodeResult::Ok) return r;
    auto extras = extraBytes.Take(static_cast<size_t>(extraTotal));
    if (auto r = feed.Take(extras); r != DecodeResult::Ok) return r;
    size_t extraPos = 0;
    for (const Record& record : *records) {
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
        size_t most = static_cast<size_t>(std::min<uint64_t>(space.size(), record.coverLength - done));
        auto source = old.Bytes(record.oldOffset + done, most);
        if (source.empty()) return DecodeResult::ReadError;
        size_t take = source.size();
        auto out = space.first(take);
        if (auto r = feed.Take(out); r != DecodeResult::Ok) return r;
        AddBytes(out.data(), source.data(), take);
        done += take;
        if (auto r = output.Commit(take); r != DecodeResult::Ok) return r;
      }
      produced += record.extraLength + record.coverLength;
    }
  }
  if (auto r = output.Flush(); r != DecodeResult::Ok) return r;
  return feed.Finish();
}

}  // namespace codec
