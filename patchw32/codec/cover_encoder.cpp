// The covers stream's writer: segments of records, extra bytes and differences, fed to the
// entropy stage as they are made, so the whole stream is never held in memory.
#include "patchw32/codec/cover_encoder.h"

#include <algorithm>
#include <memory>

#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"

namespace codec {
namespace {

// The writer releases the pages it read every this many new bytes: the old pages those read are
// spread over much of the old file, and they stay resident beside the entropy stage's coder until
// released (every 64 MiB, the tree's pack peaked at 538 MB; every 16 MiB, at 422 MB).
constexpr uint64_t kReleaseEvery = uint64_t{16} << 20;

void PutVarint(std::vector<std::byte>& out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<std::byte>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<std::byte>(value));
}

class StreamWriter {
 public:
  StreamWriter(std::span<const std::byte> oldFile, std::span<const std::byte> newFile, StageWriter& stage,
               const ReleasePages& release)
      : old_(oldFile), new_(newFile), stage_(stage), release_(release) {}

  // new[at, at + extra) unexplained, then new[at + extra, + length) from old[oldOffset, ...).
  bool Add(uint64_t at, uint64_t extra, uint64_t length, uint64_t oldOffset) {
    while (extra > 0 || length > 0) {
      if (segmentBytes_ == kSegmentMaxBytes || count_ == kSegmentMaxRecords) {
        if (!FlushSegment()) return false;
      }
      uint64_t room = kSegmentMaxBytes - segmentBytes_;
      uint64_t takeExtra = std::min(extra, room);
      uint64_t takeLength = takeExtra == extra ? std::min(length, room - takeExtra) : 0;
      PutVarint(extraLengths_, takeExtra);
      PutVarint(coverLengths_, takeLength);
      int64_t change = 0;
      if (takeLength > 0) {
        // Covers are placed by their shift (old offset minus new offset), coded as the change from
        // the previous cover's: a cover that keeps its neighbour's alignment costs one zero byte.
        int64_t shift = static_cast<int64_t>(oldOffset) - static_cast<int64_t>(at + takeExtra);
        change = shift - shift_;
        shift_ = shift;
      }
      PutVarint(shiftChanges_, change >= 0 ? uint64_t(change) << 1 : ((uint64_t(-(change + 1))) << 1) | 1);
      ++count_;
      auto extraBytes = new_.subspan(at, takeExtra);
      extras_.insert(extras_.end(), extraBytes.begin(), extraBytes.end());
      size_t used = differences_.size();
      differences_.resize(used + takeLength);
      const std::byte* newBytes = new_.data() + at + takeExtra;
      const std::byte* oldBytes = old_.data() + oldOffset;
      for (uint64_t i = 0; i < takeLength; ++i)
        differences_[used + i] =
            static_cast<std::byte>(static_cast<uint8_t>(newBytes[i]) - static_cast<uint8_t>(oldBytes[i]));
      if (takeLength > 0) {
        oldLow_ = std::min(oldLow_, oldOffset);
        oldHigh_ = std::max(oldHigh_, oldOffset + takeLength);
      }
      segmentBytes_ += takeExtra + takeLength;
      at += takeExtra + takeLength;
      extra -= takeExtra;
      length -= takeLength;
      oldOffset += takeLength;
    }
    return true;
  }

  std::optional<std::vector<std::byte>> Finish() {
    if (count_ > 0 && !FlushSegment()) return std::nullopt;
    return stage_.Finish();
  }

 private:
  bool FlushSegment() {
    std::vector<std::byte> head;
    PutVarint(head, count_);
    bool ok = stage_.Feed(head) && stage_.Feed(extraLengths_) && stage_.Feed(coverLengths_) &&
              stage_.Feed(shiftChanges_) && stage_.Feed(extras_) && stage_.Feed(differences_);
    extraLengths_.clear();
    coverLengths_.clear();
    shiftChanges_.clear();
    extras_.clear();
    differences_.clear();
    done_ += segmentBytes_;
    count_ = 0;
    segmentBytes_ = 0;
    if (release_ && done_ - released_ >= kReleaseEvery) {
      // The pages read since the last release: new bytes from released_ on, old ones in [oldLow_, oldHigh_).
      release_(new_.subspan(released_, done_ - released_));
      if (oldLow_ < oldHigh_) release_(old_.subspan(oldLow_, oldHigh_ - oldLow_));
      released_ = done_;
      oldLow_ = UINT64_MAX;
      oldHigh_ = 0;
    }
    return ok;
  }

  std::span<const std::byte> old_;
  std::span<const std::byte> new_;
  StageWriter& stage_;
  const ReleasePages& release_;
  uint64_t done_ = 0, released_ = 0, oldLow_ = UINT64_MAX, oldHigh_ = 0;
  int64_t shift_ = 0;
  uint64_t count_ = 0;
  uint64_t segmentBytes_ = 0;
  std::vector<std::byte> extraLengths_;
  std::vector<std::byte> coverLengths_;
  std::vector<std::byte> shiftChanges_;
  std::vector<std::byte> extras_;
  std::vector<std::byte> differences_;
};

}  // namespace

std::optional<std::vector<std::byte>> EncodeCovers(std::span<const std::byte> oldFile,
                                                   std::span<const std::byte> newFile, const CoverList& covers,
                                                   const EncodeOptions& options, Stage stage) {
  uint64_t at = 0;
  for (const Cover& cover : covers) {
    if (cover.newOffset < at || cover.length > newFile.size() - cover.newOffset ||
        cover.oldOffset > oldFile.size() || cover.length > oldFile.size() - cover.oldOffset)
      return std::nullopt;
    at = cover.newOffset + cover.length;
  }
  // The stream is the new file's size plus a few bytes per record: a window of twice that holds it
  // (and the decoder allows no more).
  auto coder = MakeStageWriter(stage, options, StageSetup{CoversWindowLog(newFile.size())});
  if (!coder) return std::nullopt;
  StreamWriter writer(oldFile, newFile, *coder, options.release);
  at = 0;
  for (const Cover& cover : covers) {
    if (!writer.Add(at, cover.newOffset - at, cover.length, cover.oldOffset)) return std::nullopt;
    at = cover.newOffset + cover.length;
  }
  if (!writer.Add(at, newFile.size() - at, 0, 0)) return std::nullopt;
  return writer.Finish();
}

}  // namespace codec
