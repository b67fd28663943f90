// The block matcher and the blocks-first path of large files: what the blocks find is really in
// the old file, edits across block boundaries and repeated blocks are matched, and whole files
// round-trip through EncodeFile and DecodeFile on that path.
#include "patchw32/codec/block_matcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "patchw32/codec/codec.h"
#include "patchw32/codec/codec_internal.h"
#include "tests/unit/patchw32/codec/test_files.h"

namespace codec {
namespace {

using payload::Codec;
using test::Bytes;

constexpr uint64_t kBlock = 64;

// Every match is exact, inside both files, sorted and disjoint; returns the new bytes explained.
uint64_t CheckExact(const CoverList& matches, std::span<const std::byte> oldFile, std::span<const std::byte> newFile) {
  uint64_t at = 0, covered = 0;
  for (const Cover& m : matches) {
    EXPECT_GE(m.newOffset, at);
    EXPECT_GT(m.length, 0u);
    if (m.newOffset + m.length > newFile.size() || m.oldOffset + m.length > oldFile.size()) {
      ADD_FAILURE() << "match outside the files";
      return 0;
    }
    EXPECT_EQ(std::memcmp(newFile.data() + m.newOffset, oldFile.data() + m.oldOffset, m.length), 0);
    at = m.newOffset + m.length;
    covered += m.length;
  }
  return covered;
}

TEST(BlockMatcher, EditAcrossABlockBoundaryLeavesOnlyTheEdit) {
  Bytes oldFile = test::Random(1 << 20, 1);
  Bytes newFile = oldFile;
  uint64_t boundary = 100 * kBlock;
  for (uint64_t i = boundary - 3; i < boundary + 3; ++i) newFile[i] ^= std::byte{0x5a};
  CoverList matches = FindBlockMatches(oldFile, newFile, kBlock, 1);
  EXPECT_EQ(CheckExact(matches, oldFile, newFile), newFile.size() - 6);
  ASSERT_EQ(matches.size(), 2u);
  EXPECT_EQ(matches[0].newOffset + matches[0].length, boundary - 3);
  EXPECT_EQ(matches[1].newOffset, boundary + 3);
}

TEST(BlockMatcher, FindsMovedAndRepeatedBlocks) {
  Bytes a = test::Random(50000, 2), b = test::Random(30000, 3), c = test::Random(40000, 4);
  Bytes oldFile = test::Concat({a, b, c});
  // Pieces reordered, one of them twice, at offsets that are not multiples of the block.
  Bytes newFile = test::Concat({test::Random(17, 5), c, b, test::Random(5, 6), a, b});
  CoverList matches = FindBlockMatches(oldFile, newFile, kBlock, 1);
  EXPECT_EQ(CheckExact(matches, oldFile, newFile), newFile.size() - 22);
}

TEST(BlockMatcher, OneBlockRepeatedThousandsOfTimesStaysFast) {
  Bytes block = test::Random(kBlock, 7);
  Bytes oldFile;
  for (int i = 0; i < 20000; ++i) oldFile.insert(oldFile.end(), block.begin(), block.end());
  // New: the same run with a byte changed every few blocks, so many matches must be looked up.
  Bytes newFile = oldFile;
  for (size_t i = 1000; i < newFile.size(); i += 5 * kBlock + 7) newFile[i] ^= std::byte{1};
  auto start = std::chrono::steady_clock::now();
  CoverList matches = FindBlockMatches(oldFile, newFile, kBlock, 2);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(CheckExact(matches, oldFile, newFile), newFile.size() * 9 / 10);
  EXPECT_LT(seconds, 20.0);  // a quadratic lookup takes minutes here, even unsanitised
}

TEST(BlockMatcher, FilesShorterThanABlockHaveNoMatches) {
  Bytes small = test::Random(kBlock - 1, 8), large = test::Random(10 * kBlock, 9);
  EXPECT_TRUE(FindBlockMatches(small, large, kBlock, 1).empty());
  EXPECT_TRUE(FindBlockMatches(large, small, kBlock, 1).empty());
  EXPECT_TRUE(FindBlockMatches({}, large, kBlock, 1).empty());
}

TEST(BlockMatcher, ResultDoesNotDependOnThreads) {
  // More than one scan unit (16 MiB), with edits and moves in each.
  Bytes oldFile = test::Random(40 << 20, 10);
  Bytes newFile = oldFile;
  for (size_t at = 12345; at < newFile.size(); at += 3 << 20) newFile[at] ^= std::byte{0x80};
  newFile.insert(newFile.begin() + (20 << 20), oldFile.begin() + 1000, oldFile.begin() + 600000);
  CoverList one = FindBlockMatches(oldFile, newFile, kBlock, 1);
  CoverList two = FindBlockMatches(oldFile, newFile, kBlock, 2);
  EXPECT_EQ(one, two);
  EXPECT_GE(CheckExact(one, oldFile, newFile), newFile.size() - 40);
}

TEST(BlockMatcher, BlockSizeKeepsTheIndexBounded) {
  EXPECT_EQ(BlockSizeFor(0), 64u);
  EXPECT_EQ(BlockSizeFor(uint64_t{1} << 30), 64u);
  EXPECT_EQ(BlockSizeFor(uint64_t{43} << 27), 512u);  // 4.3 GiB: 11M blocks
}

// Whole files through EncodeFile and DecodeFile with the whole-index bound below the old size, so
// that they take the blocks-first path.
struct LargeCase {
  const char* name;
  Bytes oldFile, newFile;
  uint64_t mostExtra;  // new bytes the covers may leave unexplained
};

std::vector<LargeCase> BlocksFirstCases() {
  Bytes data = test::CodeLike(2 << 20, 11, 0x600000);
  std::vector<LargeCase> cases;
  {
    Bytes edited = data;  // a block boundary inside an edit, and edits a few bytes apart
    for (uint64_t i = 4000 * kBlock - 5; i < 4000 * kBlock + 9; ++i) edited[i] ^= std::byte{0x33};
    for (uint64_t i = 700000; i < 700300; i += 37) edited[i] = std::byte{0};
    cases.push_back({"block boundary inside an edit", data, edited, 0});
  }
  {
    Bytes piece(data.begin() + 300000, data.begin() + 400000);
    Bytes repeated = test::Concat({piece, data, piece, piece});
    cases.push_back({"repeated blocks", data, repeated, 0});
  }
  {
    Bytes block = test::Random(kBlock, 12);
    Bytes oldFile;
    for (int i = 0; i < 30000; ++i) oldFile.insert(oldFile.end(), block.begin(), block.end());
    Bytes newFile = oldFile;
    newFile.insert(newFile.begin() + 50000, data.begin(), data.begin() + 3000);
    newFile[900000] ^= std::byte{0x40};
    cases.push_back({"one block repeated thousands of times", oldFile, newFile, 3000});
  }
  cases.push_back({"new file shorter than a block", data, Bytes(data.begin() + 5, data.begin() + 40), 35});
  {
    Bytes inserted = data;
    inserted.insert(inserted.begin(), std::byte{0x77});
    cases.push_back({"one byte inserted at the start", data, inserted, 1});
  }
  cases.push_back({"unrelated files", test::Random(1 << 20, 13), test::Random(1 << 20, 14), 1 << 20});
  return cases;
}

TEST(BlocksFirst, RoundTripsThroughTheCodec) {
  for (const auto& c : BlocksFirstCases()) {
    SCOPED_TRACE(c.name);
    EncodeOptions options{.level = 3, .threads = 2, .wholeIndexMax = 100000};
    ASSERT_GT(c.oldFile.size(), options.wholeIndexMax);
    uint64_t covered = 0;
    auto block = EncodeCoversFile(c.oldFile, c.newFile, options, covered);
    ASSERT_TRUE(block);
    EXPECT_GE(covered + c.mostExtra, c.newFile.size());
    Bytes out;
    ASSERT_EQ(test::Decode(Codec::Covers, *block, c.oldFile, c.newFile.size(), out), DecodeResult::Ok);
    EXPECT_TRUE(out == c.newFile);

    Encoded best = EncodeFile(c.oldFile, c.newFile, options);
    ASSERT_EQ(test::Decode(best.codec, best.data, c.oldFile, c.newFile.size(), out), DecodeResult::Ok);
    EXPECT_TRUE(out == c.newFile);
    Encoded once = EncodeFile(c.oldFile, c.newFile, {.level = 3, .threads = 1, .wholeIndexMax = 100000});
    EXPECT_EQ(once.codec, best.codec);
    EXPECT_TRUE(once.data == best.data);
  }
}

// One byte inserted at the start of a large file: every later byte moves by one, which the blocks
// must find at once. ORVAN_LARGE_TEST_MIB sets the size: 64 MiB by default, which the sanitized
// build runs in seconds; 1024 for the 1 GiB case, in an optimised build.
TEST(BlocksFirst, OneByteInsertedAtTheStartOfALargeFile) {
  uint64_t mib = 64;
  if (const char* size = std::getenv("ORVAN_LARGE_TEST_MIB")) mib = std::strtoull(size, nullptr, 10);
  Bytes oldFile = test::Random(mib << 20, 15);
  Bytes newFile(oldFile.size() + 1);
  newFile[0] = std::byte{0x42};
  std::memcpy(newFile.data() + 1, oldFile.data(), oldFile.size());
  Encoded encoded = EncodeFile(oldFile, newFile, {.level = 3, .threads = 2, .wholeIndexMax = 1 << 20});
  ASSERT_EQ(encoded.codec, Codec::Covers);
  EXPECT_LT(encoded.data.size(), newFile.size() / 1000);
  Bytes out;
  ASSERT_EQ(test::Decode(encoded.codec, encoded.data, oldFile, newFile.size(), out), DecodeResult::Ok);
  EXPECT_TRUE(out == newFile);
}

}  // namespace
}  // namespace codec
