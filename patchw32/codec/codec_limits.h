// The bounds every data block keeps, shared by the encoders (which stay inside them) and the
// decoders (which refuse a block that steps outside them), and the apply memory budget they make.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

inline constexpr uint64_t kMiB = uint64_t{1} << 20;

// ---- What a data block may ask for ----

// The largest zstd window any frame may use: 16 MiB. A frame that asks for more is refused
// before anything is allocated for it.
inline constexpr int kWindowLogMax = 24;
inline constexpr uint64_t kWindowBytes = uint64_t{1} << kWindowLogMax;

// The smallest window log (from zstd's least, 10, up to kWindowLogMax) whose window spans `span`
// bytes. The encoders ask zstd for this window over what a frame can reach back to, and the
// decoders allow a frame no more than this of the same span, so a small file's frame can never
// make the decoder set up a large window.
constexpr int WindowLogSpanning(uint64_t span) {
  int log = 10;
  while (log < kWindowLogMax && (uint64_t{1} << log) < span) ++log;
  return log;
}

// A covers stream is the new file's size plus a few bytes per record: its frame's window spans
// twice the new file and a little more (the encoder's choice, and the decoder's bound).
constexpr int CoversWindowLog(uint64_t newSize) {
  return newSize >= kWindowBytes ? kWindowLogMax : WindowLogSpanning(2 * newSize + 4096);
}

// Reference zstd keeps the whole old file in memory while it decodes, beside zstd's buffer of
// the new file (its window, no more than the frame's size): used only while old and new together
// fit in one window, so that it never holds more than a covers decode does.
inline constexpr uint64_t kReferenceLimit = kWindowBytes;

// An LZMA block's dictionary has the same bound as a zstd frame's window: at most kWindowBytes, and
// no more than 2^WindowLogSpanning of what it can reach back over (LZMA2's least, 4 KiB, below
// that). Reference LZMA copies the old file into that dictionary while the decoder still holds it:
// the decoder refuses a dictionary that with the old file exceeds kLzmaReferenceMemory, and the
// builder uses it only while old and new together fit half of that.
inline constexpr uint64_t kLzmaDictionaryMin = uint64_t{4} << 10;
inline constexpr uint64_t kLzmaReferenceMemory = kWindowBytes;
inline constexpr uint64_t kLzmaReferenceLimit = kLzmaReferenceMemory / 2;

// A covers stream is cut into segments of at most this many new bytes; the decoder holds one
// segment's unexplained bytes and its records at a time.
inline constexpr uint64_t kSegmentMaxBytes = uint64_t{2} << 20;
inline constexpr uint64_t kSegmentMaxRecords = uint64_t{1} << 16;

// ---- The decoders' buffers: each is the smaller of its bound and what the file can need ----

// zstd's own beside the window: its decoding context, the input block and two blocks of slack
// at the window's end (ZSTD_estimateDStreamSize(kWindowBytes) - kWindowBytes: 478 KiB in 1.5.4).
inline constexpr uint64_t kZstdOverheadBytes = uint64_t{512} << 10;
// liblzma's own beside the dictionary: the LZMA2 decoder's state (its literal coder at most
// 0x300 << 4 probabilities of two bytes: 24 KiB, lc + lp being at most 4) and the dictionary's slack.
inline constexpr uint64_t kLzmaOverheadBytes = uint64_t{64} << 10;
// The frame reader: compressed input read from the patch in slices of this, and decompressed
// output taken from zstd a block (128 KiB) at a time; neither more than the block or the window.
inline constexpr uint64_t kFrameInputBytes = uint64_t{128} << 10;
inline constexpr uint64_t kFrameOutputBytes = uint64_t{128} << 10;
// New bytes collected before they go to the sink: no more than the new file.
inline constexpr uint64_t kOutputChunkBytes = uint64_t{256} << 10;
// The covers decoder's old-file cache: a few aligned blocks, large enough that the old file is
// read in long sequential reads; no more blocks than the old file has, none larger than it.
inline constexpr uint64_t kOldBlockBytes = uint64_t{256} << 10;
inline constexpr uint64_t kOldBlocks = 4;
// One covers record as the decoder keeps it (two lengths of at most a segment and an old offset).
inline constexpr uint64_t kRecordBytes = 16;
// The covers stream is decompressed on a second thread and handed to the decoder in a few chunks.
inline constexpr uint64_t kStreamFeedChunkBytes = uint64_t{64} << 10;
inline constexpr uint64_t kStreamFeedChunks = 4;
// The engine writes each output chunk straight to the staged file, so it holds nothing of its own
// while a decode runs; its hashing pieces (1 MiB at most) are used only before and after one.

// ---- The budget: the whole updater applies any payload in at most 32 MiB ----

inline constexpr uint64_t kApplyMemoryBudget = 32 * kMiB;
// The updater's peak before and around any decode: program and libraries, the payload index,
// the checks of the installed files. Measured with /usr/bin/time -f %M on the console updater
// (Linux, x86-64), on a run with nothing to do: 9.2 MiB; rounded up. The payload index is read
// whole; a payload of many thousand files adds its index (about 100 bytes a file) to this.
inline constexpr uint64_t kProcessBaselineBytes = 10 * kMiB;

// The most one decode holds at once: covers (the largest, 21.25 MiB; with the baseline 31.25 of
// the 32 MiB) against reference zstd (17 MiB). Plain and delta zstd hold less than reference zstd.
// Each of them through the LZMA stage holds no more than through zstd (below).
inline constexpr uint64_t kCoversDecodeBytes = kWindowBytes + kZstdOverheadBytes + kFrameInputBytes +
                                               kFrameOutputBytes + kSegmentMaxBytes +
                                               kSegmentMaxRecords * kRecordBytes + kOldBlocks * kOldBlockBytes +
                                               kOutputChunkBytes + kStreamFeedChunks * kStreamFeedChunkBytes;
inline constexpr uint64_t kReferenceDecodeBytes =
    kReferenceLimit + kZstdOverheadBytes + kFrameInputBytes + kFrameOutputBytes + kOutputChunkBytes;
static_assert(kReferenceDecodeBytes <= kCoversDecodeBytes);
// The same decodes through the LZMA stage hold a dictionary instead of zstd's window: no more.
static_assert(kLzmaOverheadBytes <= kZstdOverheadBytes, "an LZMA covers decode holds no more than a zstd one");
inline constexpr uint64_t kLzmaReferenceDecodeBytes =
    kLzmaReferenceMemory + kLzmaOverheadBytes + kFrameInputBytes + kFrameOutputBytes + kOutputChunkBytes;
static_assert(kLzmaReferenceDecodeBytes <= kCoversDecodeBytes);
static_assert(kProcessBaselineBytes + kCoversDecodeBytes <= kApplyMemoryBudget,
              "the decoders' buffers and the process's own fit the apply budget");

}  // namespace codec
