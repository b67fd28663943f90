// The covers matcher on the edits that break matchers: each result must be a valid cover list
// that explains what the old file really holds of the new one.
#include "patchw32/codec/cover_finder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/patchw32/codec/test_files.h"

namespace codec {
namespace {

using test::Bytes;

// Checks the list is sorted, disjoint and inside both files; returns the bytes it explains
// exactly (equal under the cover) and in total.
void Check(const CoverList& covers, std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
           uint64_t& equal, uint64_t& covered) {
  equal = covered = 0;
  uint64_t at = 0;
  for (const Cover& c : covers) {
    ASSERT_GE(c.newOffset, at);
    ASSERT_GT(c.length, 0u);
    ASSERT_LE(c.newOffset + c.length, newFile.size());
    ASSERT_LE(c.oldOffset + c.length, oldFile.size());
    for (uint64_t i = 0; i < c.length; ++i) equal += newFile[c.newOffset + i] == oldFile[c.oldOffset + i];
    covered += c.length;
    at = c.newOffset + c.length;
  }
}

CoverList Find(std::span<const std::byte> oldFile, std::span<const std::byte> newFile, unsigned threads = 1) {
  SuffixArray suffixes = SuffixArray::Build(oldFile);
  return FindCovers(oldFile, 0, suffixes, newFile, 0, newFile.size(), threads);
}

TEST(CoverFinder, ExplainsWhatTheOldFileHolds) {
  Bytes code = test::CodeLike(60000, 3, 0x401000);
  Bytes block = test::Random(3000, 4);
  auto head = std::span(code).first(30000), tail = std::span(code).subspan(30000);
  Bytes oneChanged = code;
  oneChanged[40000] ^= std::byte{0x55};
  // Every address moved by 0x40: the same code, matching only approximately.
  Bytes shifted = test::CodeLike(60000, 3, 0x401040);
  struct Case {
    const char* name;
    Bytes oldFile, newFile;
    double minEqual;     // share of the new file explained exactly, at least
    double minCovered;   // share covered at all, at least
    size_t maxCovers;
  } cases[] = {
      {"identical", code, code, 1.0, 1.0, 1},
      {"one byte changed", code, oneChanged, 0.999, 1.0, 2},
      {"block inserted", code, test::Concat({head, block, tail}), 0.94, 0.94, 3},
      {"block removed", test::Concat({head, block, tail}), code, 0.99, 0.99, 3},
      {"halves swapped", code, test::Concat({tail, head}), 0.99, 0.99, 3},
      {"addresses shifted", code, shifted, 0.6, 0.98, 40},
      {"all different", test::Random(20000, 5), test::Random(20000, 6), 0.0, 0.0, 0},
      {"new file is a repeat of a short old one", test::Random(100, 7), Bytes(), 0.0, 0.0, 0},
  };
  // The last case: the new file repeats the old one many times over.
  for (int i = 0; i < 50; ++i) cases[7].newFile.insert(cases[7].newFile.end(), cases[7].oldFile.begin(), cases[7].oldFile.end());
  cases[7].minEqual = cases[7].minCovered = 0.99;
  cases[7].maxCovers = 50;

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CoverList covers = Find(c.oldFile, c.newFile);
    uint64_t equal = 0, covered = 0;
    Check(covers, c.oldFile, c.newFile, equal, covered);
    EXPECT_GE(equal, c.minEqual * c.newFile.size());
    EXPECT_GE(covered, c.minCovered * c.newFile.size());
    EXPECT_LE(covers.size(), c.maxCovers);
  }
}

TEST(CoverFinder, IdenticalFilesGiveOneWholeCover) {
  Bytes code = test::CodeLike(5000, 8, 0x10000);
  EXPECT_EQ(Find(code, code), (CoverList{{0, 0, code.size()}}));
}

TEST(CoverFinder, OffsetsOfAWindowAreTheWholeFilesAndStayInside) {
  Bytes oldFile = test::Random(40000, 9);
  Bytes newFile(oldFile.begin() + 10000, oldFile.begin() + 30000);
  auto window = std::span(oldFile).subspan(8000, 24000);
  SuffixArray suffixes = SuffixArray::Build(window);
  CoverList covers = FindCovers(window, 8000, suffixes, newFile, 0, newFile.size(), 1);
  uint64_t equal = 0, covered = 0;
  Check(covers, oldFile, newFile, equal, covered);
  EXPECT_EQ(equal, newFile.size());
  // Past the window's end nothing can be covered: only [0, 22000) of the new file lies inside it.
  for (const Cover& c : covers) EXPECT_LE(c.oldOffset + c.length, 32000u);
}

TEST(CoverFinder, WideSuffixArrayFindsWhatTheNarrowOneFinds) {
  // Old files past 2 GiB take the 64-bit suffix array; the matcher must read it the same way.
  Bytes oldFile = test::CodeLike(100000, 11, 0x401000);
  Bytes newFile = test::CodeLike(100000, 11, 0x401010);
  newFile.insert(newFile.begin() + 40000, 2000, std::byte{0xcc});
  auto narrow = SuffixArray::Build(oldFile, SuffixArray::Width::Narrow);
  auto wide = SuffixArray::Build(oldFile, SuffixArray::Width::Wide);
  ASSERT_FALSE(wide.Wide().empty());
  CoverList expected = FindCovers(oldFile, 0, narrow, newFile, 0, newFile.size(), 1);
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(FindCovers(oldFile, 0, wide, newFile, 0, newFile.size(), 1), expected);
}

TEST(CoverFinder, OverlappingPartsFindWhatOneArrayFinds) {
  // Large windows are indexed in two overlapping halves; matches across the cut must survive.
  Bytes oldFile = test::CodeLike(200000, 12, 0x401000);
  Bytes newFile = oldFile;
  std::rotate(newFile.begin(), newFile.begin() + 99000, newFile.end());  // content at the cut moves
  newFile[150000] ^= std::byte{4};
  auto whole = SuffixArray::Build(oldFile);
  auto first = SuffixArray::Build(std::span(oldFile).first(104096));
  auto second = SuffixArray::Build(std::span(oldFile).subspan(100000));
  IndexedPart parts[] = {{0, &first}, {100000, &second}};
  uint64_t equalWhole = 0, coveredWhole = 0, equalParts = 0, coveredParts = 0;
  Check(FindCovers(oldFile, 0, whole, newFile, 0, newFile.size(), 1), oldFile, newFile, equalWhole, coveredWhole);
  Check(FindCovers(oldFile, 0, parts, newFile, 0, newFile.size(), 1), oldFile, newFile, equalParts, coveredParts);
  EXPECT_GE(equalParts, newFile.size() - 10);
  EXPECT_EQ(equalParts, equalWhole);
  // A part outside the window is refused.
  IndexedPart outside[] = {{150000, &first}};
  EXPECT_TRUE(FindCovers(oldFile, 0, outside, newFile, 0, newFile.size(), 1).empty());
}

TEST(CoverFinder, ResultDoesNotDependOnThreads) {
  // Over two work units, with edits on both sides of the cut between them.
  Bytes oldFile = test::CodeLike(9 << 20, 10, 0x400000);
  Bytes newFile = oldFile;
  for (size_t at = 1000; at < newFile.size(); at += 700000) newFile[at] ^= std::byte{1};
  newFile.insert(newFile.begin() + (8 << 20) - 100, 5000, std::byte{0x90});
  CoverList one = Find(oldFile, newFile, 1);
  EXPECT_EQ(Find(oldFile, newFile, 2), one);
  uint64_t equal = 0, covered = 0;
  Check(one, oldFile, newFile, equal, covered);
  EXPECT_GE(covered, newFile.size() - 5000);
}

}  // namespace
}  // namespace codec
