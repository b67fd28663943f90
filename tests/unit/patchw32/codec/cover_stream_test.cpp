// The covers stream: what the encoder writes the decoder rebuilds, the old file is read once in
// long reads, the stream's thread ends with the decode, and a stream that lies about its lengths
// or offsets is refused before anything is read or written out of bounds.
#include <gtest/gtest.h>
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "patchw32/codec/branch_filter.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/cover_encoder.h"
#include "tests/unit/patchw32/codec/test_files.h"

namespace codec {
namespace {

using test::Bytes;

TEST(CoverStream, RoundTripsCoverLists) {
  Bytes oldFile = test::Random(300000, 1);
  Bytes newFile = test::Random(300000, 2);
  std::copy_n(oldFile.begin() + 1000, 50000, newFile.begin() + 20000);
  Bytes bigOld = test::Random(9 << 20, 3);
  Bytes bigNew = bigOld;
  bigNew[5 << 20] ^= std::byte{1};
  struct Case {
    const char* name;
    const Bytes& oldFile;
    const Bytes& newFile;
    CoverList covers;
  } cases[] = {
      {"no covers", oldFile, newFile, {}},
      {"one cover in the middle", oldFile, newFile, {{1000, 20000, 50000}}},
      {"cover at both ends", oldFile, newFile, {{0, 0, 10}, {299990, 299990, 10}}},
      {"backward steps", oldFile, newFile, {{200000, 0, 100}, {100, 100, 100}, {150000, 200, 5}}},
      {"covers overlapping in the old file", oldFile, newFile, {{0, 0, 500}, {0, 600, 500}}},
      // A cover longer than a segment is cut across segments.
      {"cover over several segments", bigOld, bigNew, {{0, 0, bigNew.size()}}},
      {"extra bytes over several segments", bigOld, bigNew, {{bigOld.size() - 4, bigNew.size() - 4, 4}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto block = EncodeCovers(c.oldFile, c.newFile, c.covers, {.level = 3});
    ASSERT_TRUE(block);
    Bytes out;
    ASSERT_EQ(test::Decode(payload::Codec::Covers, *block, c.oldFile, c.newFile.size(), out), DecodeResult::Ok);
    EXPECT_TRUE(out == c.newFile);
  }
}

TEST(CoverStream, ManyRecordsFillSeveralSegments) {
  // More records than one segment holds: a tiny cover every 8 bytes.
  Bytes oldFile = test::Random(1 << 20, 4);
  Bytes newFile = test::Random(1 << 20, 5);
  CoverList covers;
  for (uint64_t at = 0; at + 4 <= newFile.size(); at += 8) covers.push_back({(at * 7) % (oldFile.size() - 4), at, 4});
  ASSERT_GT(covers.size(), kSegmentMaxRecords);
  auto block = EncodeCovers(oldFile, newFile, covers, {.level = 1});
  ASSERT_TRUE(block);
  Bytes out;
  ASSERT_EQ(test::Decode(payload::Codec::Covers, *block, oldFile, newFile.size(), out), DecodeResult::Ok);
  EXPECT_TRUE(out == newFile);
}

TEST(CoverStream, EncoderRefusesCoversOutsideTheFiles) {
  Bytes oldFile(100), newFile(100);
  for (CoverList covers : {CoverList{{0, 0, 101}}, CoverList{{90, 0, 11}}, CoverList{{0, 50, 10}, {0, 55, 10}},
                           CoverList{{0, 95, 10}}})
    EXPECT_FALSE(EncodeCovers(oldFile, newFile, covers, {}));
}

TEST(CoverStream, OldFileIsReadOnceInWholeBlocksAndLongReads) {
  // Covers that go forward, skipping a removed stretch, read the old file never a byte twice, in
  // whole branch-filter blocks (the last to the file's end), and a long cover in long reads: each
  // read ends only where the cover, the output chunk, the cache's sets or a row's worth of old
  // blocks ends (the last three every 256 KiB). Covers
  // that hop between many places of the old file, as between two builds of a program, still read
  // each byte once while the places fit in the cache together (a few large cache blocks read the
  // old file here over a hundred times).
  Bytes bigOld = test::Random((3 << 20) + 1000, 7);
  Bytes bigNew = test::Random(3 << 20, 8);
  Bytes smallOld = test::Random(5000, 9);
  Bytes smallNew = test::Random(6000, 10);
  Bytes hopOld = test::Random(4 << 20, 11);
  Bytes hopNew = test::Random(2 << 20, 12);
  CoverList hops;  // 48 places 64 KiB apart, each read on by 200 bytes in turn
  for (uint64_t at = 0, turn = 0; at + 200 <= hopNew.size(); at += 256, ++turn)
    hops.push_back({(turn % 48) * (64 << 10) + (turn / 48) * 200, at, 200});
  struct Case {
    const char* name;
    const Bytes& oldFile;
    const Bytes& newFile;
    CoverList covers;
    size_t mostReads;
  } cases[] = {
      // 2.8 MB: 11 of each 256 KiB boundary, three covers; reads of 80 KiB on average at least.
      {"large file, a stretch removed", bigOld, bigNew,
       {{0, 0, 1 << 20}, {(1 << 20) + 300000, (1 << 20) + 50, 1 << 20}, {(2 << 20) + 300100, (2 << 20) + 100, 700000}},
       3 * 11 + 3},
      {"small file", smallOld, smallNew, {{100, 0, 2000}, {3000, 2500, 2000}}, 2},
      {"covers hopping between 48 places", hopOld, hopNew, hops, hopNew.size() / kBranchBlockBytes + 48},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto block = EncodeCovers(c.oldFile, c.newFile, c.covers, {.level = 1});
    ASSERT_TRUE(block);
    std::vector<std::pair<uint64_t, size_t>> reads;
    ReadAt old = [&](uint64_t offset, std::span<std::byte> buffer) {
      reads.emplace_back(offset, buffer.size());
      return test::ReaderOf(c.oldFile)(offset, buffer);
    };
    Bytes out;
    ASSERT_EQ(DecodeFile(payload::Codec::Covers, test::ReaderOf(*block), block->size(), old, c.oldFile.size(),
                         c.newFile.size(),
                         [&](std::span<const std::byte> bytes) {
                           out.insert(out.end(), bytes.begin(), bytes.end());
                           return true;
                         },
                         nullptr),
              DecodeResult::Ok);
    EXPECT_TRUE(out == c.newFile);
    ASSERT_FALSE(reads.empty());
    EXPECT_LE(reads.size(), c.mostReads);
    std::sort(reads.begin(), reads.end());
    uint64_t next = 0;
    for (const auto& [offset, size] : reads) {
      EXPECT_GE(offset, next) << "read again";
      EXPECT_EQ(offset % kBranchBlockBytes, 0u) << "at " << offset;
      if (offset + size != c.oldFile.size()) EXPECT_EQ(size % kBranchBlockBytes, 0u) << "at " << offset;
      next = offset + size;
    }
  }
}

TEST(CoverStream, TheStreamThreadEndsWithTheDecode) {
  // The stream is decompressed on a second thread, ahead of the decoder: whichever side stops
  // first, the decode returns that side's result (or exception), and nothing of the block is read
  // once it has returned.
  Bytes oldFile = test::Random(6 << 20, 13);
  Bytes newFile = oldFile;
  Bytes noise = test::Random(newFile.size() / 16, 14);
  for (size_t at = 0; at < newFile.size(); at += 16) newFile[at] ^= noise[at / 16];
  auto block = EncodeCovers(oldFile, newFile, {{0, 0, newFile.size()}}, {.level = 1});
  ASSERT_TRUE(block);
  ASSERT_GT(block->size(), 300000u);  // read in several pieces
  int blockReads = 0;
  auto decode = [&](int failAtRead, const Sink& sink) {
    blockReads = 0;
    ReadAt reader = [&, failAtRead](uint64_t offset, std::span<std::byte> buffer) {
      if (++blockReads == failAtRead) throw std::runtime_error("the patch went away");
      return test::ReaderOf(*block)(offset, buffer);
    };
    return DecodeFile(payload::Codec::Covers, reader, block->size(), test::ReaderOf(oldFile), oldFile.size(),
                      newFile.size(), sink, nullptr);
  };
  Sink refuse = [](std::span<const std::byte>) { return false; };
  Sink accept = [](std::span<const std::byte>) { return true; };
  EXPECT_EQ(decode(0, refuse), DecodeResult::WriteError);
  int readsAtReturn = blockReads;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(blockReads, readsAtReturn);
  EXPECT_THROW(decode(3, accept), std::runtime_error);
  EXPECT_EQ(decode(0, accept), DecodeResult::Ok);
}

// A hand-written stream: numbers as LEB128 and raw bytes, compressed as one frame.
struct RawStream {
  Bytes bytes;
  RawStream& Number(uint64_t value) {
    for (; value >= 0x80; value >>= 7) bytes.push_back(static_cast<std::byte>(value | 0x80));
    bytes.push_back(static_cast<std::byte>(value));
    return *this;
  }
  RawStream& Raw(size_t count, uint8_t value) {
    bytes.insert(bytes.end(), count, static_cast<std::byte>(value));
    return *this;
  }
  Bytes Frame() const {
    Bytes out(ZSTD_compressBound(bytes.size()));
    out.resize(ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 1));
    return out;
  }
};

TEST(CoverStream, RefusesStreamsThatLie) {
  Bytes oldFile = test::Random(1000, 6);
  constexpr uint64_t kNewSize = 100;
  uint64_t big = kSegmentMaxBytes;
  // One segment is: the record count, then each record's extra length, each one's cover length,
  // each one's shift change; then the extra bytes and the differences.
  struct Case {
    const char* name;
    RawStream stream;
    uint64_t newSize = kNewSize;
  } cases[] = {
      {"no segments", RawStream{}},
      {"zero records", RawStream{}.Number(0)},
      {"too many records", RawStream{}.Number(kSegmentMaxRecords + 1)},
      {"segment explains nothing", RawStream{}.Number(1).Number(0).Number(0).Number(0)},
      {"more extra bytes than the file", RawStream{}.Number(1).Number(kNewSize + 1).Number(0).Number(0).Raw(101, 1)},
      {"cover longer than the file", RawStream{}.Number(1).Number(0).Number(kNewSize + 1).Number(0).Raw(101, 0)},
      {"cover past the old file's end", RawStream{}.Number(1).Number(0).Number(100).Number(2 * 901).Raw(100, 0)},
      {"cover starting past the old file's end", RawStream{}.Number(1).Number(0).Number(100).Number(2 * 1001).Raw(100, 0)},
      {"cover starting before the old file", RawStream{}.Number(1).Number(0).Number(100).Number(1).Raw(100, 0)},
      {"shift beyond any file", RawStream{}.Number(1).Number(0).Number(100).Number(~uint64_t{0}).Raw(100, 0)},
      {"shifts that add up beyond any file",
       RawStream{}.Number(3).Number(0).Number(0).Number(0).Number(0).Number(0).Number(100)
           .Number(((uint64_t{1} << 61) - 1) << 1).Number(((uint64_t{1} << 61) - 1) << 1).Number(1).Raw(100, 0)},
      {"lengths that overflow when added", RawStream{}.Number(1).Number(~uint64_t{0}).Number(2).Number(0)},
      {"segment over its bound", RawStream{}.Number(1).Number(big + 1).Number(0).Number(0), big + 10},
      {"stream ends in a record", RawStream{}.Number(1).Number(0)},
      {"stream ends in the differences", RawStream{}.Number(1).Number(0).Number(100).Number(0).Raw(50, 0)},
      {"number longer than 64 bits", RawStream{}.Raw(10, 0xff).Raw(1, 0x01)},
      {"bytes after the last segment", RawStream{}.Number(1).Number(0).Number(100).Number(0).Raw(100, 0).Raw(1, 0)},
      {"new size near 2^64", RawStream{}.Number(1).Number(0).Number(100).Number(2 * 900).Raw(100, 0), ~uint64_t{0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes out;
    EXPECT_EQ(test::Decode(payload::Codec::Covers, c.stream.Frame(), oldFile, c.newSize, out),
              DecodeResult::CorruptData);
    EXPECT_LE(out.size(), c.newSize);
  }
  // The same records, honest, decode: the cases above fail for the reason their names give.
  Bytes out;
  EXPECT_EQ(test::Decode(payload::Codec::Covers, RawStream{}.Number(1).Number(0).Number(100).Number(2 * 900).Raw(100, 0).Frame(),
                         oldFile, kNewSize, out),
            DecodeResult::Ok);
  EXPECT_TRUE(out == Bytes(oldFile.begin() + 900, oldFile.end()));
}

}  // namespace
}  // namespace codec
