// The suffix array wrapper: both widths sort every suffix.
#include "patchw32/codec/suffix_array.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/patchw32/codec/test_files.h"

namespace codec {
namespace {

template <typename Index>
void ExpectSorted(std::span<const std::byte> text, std::span<const Index> suffixes) {
  ASSERT_EQ(suffixes.size(), text.size());
  std::vector<bool> seen(text.size());
  for (size_t i = 0; i < suffixes.size(); ++i) {
    ASSERT_GE(suffixes[i], 0);
    ASSERT_LT(static_cast<size_t>(suffixes[i]), text.size());
    seen[suffixes[i]] = true;
    if (i == 0) continue;
    auto a = text.subspan(suffixes[i - 1]);
    auto b = text.subspan(suffixes[i]);
    ASSERT_TRUE(std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end())) << "at " << i;
  }
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](bool s) { return s; }));
}

TEST(SuffixArray, SortsEverySuffixInBothWidths) {
  struct Case {
    const char* name;
    test::Bytes text;
  } cases[] = {
      {"one byte", test::Bytes{std::byte{7}}},
      {"run of zeros", test::Bytes(300)},
      {"random", test::Random(2000, 1)},
      {"code-like", test::CodeLike(2000, 2, 0x401000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectSorted(std::span(c.text), SuffixArray::Build(c.text, SuffixArray::Width::Narrow).Narrow());
    ExpectSorted(std::span(c.text), SuffixArray::Build(c.text, SuffixArray::Width::Wide).Wide());
  }
}

TEST(SuffixArray, EmptyTextGivesEmptyArray) { EXPECT_TRUE(SuffixArray::Build({}).empty()); }

}  // namespace
}  // namespace codec
