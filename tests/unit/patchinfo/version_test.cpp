// ParseVersionStamp reads numbers as a "%d.%d.%d.%d" scan does.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "src/patchinfo/version.h"

namespace {

struct StampCase {
  const char* name;
  const char* text;
  int fieldCount;
  std::array<int32_t, 4> numbers;  // starting from 9s, so untouched numbers show
};

TEST(ParseVersionStamp, ScansLikeFormattedInput) {
  const StampCase cases[] = {
      {"full", "1.2.3.4", 4, {1, 2, 3, 4}},
      {"three", "1.2.0", 3, {1, 2, 0, 9}},
      {"one", "7", 1, {7, 9, 9, 9}},
      {"empty", "", -1, {9, 9, 9, 9}},
      {"only blanks", "  \t", -1, {9, 9, 9, 9}},
      {"letters first", "v1.2", 0, {9, 9, 9, 9}},
      {"leading blanks", "  1.5", 2, {1, 5, 9, 9}},
      {"blank after point", "1. 5", 2, {1, 5, 9, 9}},
      {"signs", "-1.+2", 2, {-1, 2, 9, 9}},
      {"stops at letter", "1.2a.3", 2, {1, 2, 9, 9}},
      {"trailing point", "1.", 1, {1, 9, 9, 9}},
      {"comma is no point", "1,2", 1, {1, 9, 9, 9}},
      {"more than four", "1.2.3.4.5", 4, {1, 2, 3, 4}},
      {"lone sign", "-", 0, {9, 9, 9, 9}},
      {"two-digit minor", "1.10", 2, {1, 10, 9, 9}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Version v;
    v.Numbers = {9, 9, 9, 9};
    ParseVersionStamp(v, c.text);
    EXPECT_EQ(v.Text, c.text);
    EXPECT_TRUE(v.Valid);
    EXPECT_EQ(v.FieldCount, c.fieldCount);
    EXPECT_EQ(v.Numbers, c.numbers);

    // The C library's scan agrees on every case that is well defined for it.
    std::array<int, 4> scanned = {9, 9, 9, 9};
    int count = std::sscanf(c.text, "%d.%d.%d.%d", &scanned[0], &scanned[1], &scanned[2], &scanned[3]);
    EXPECT_EQ(count == EOF ? -1 : count, c.fieldCount);
  }
}

TEST(ParseVersionStamp, ANewVersionIsEmptyAndNotValid) {
  Version v;
  EXPECT_EQ(v.Text, "");
  EXPECT_FALSE(v.Valid);
  EXPECT_EQ(v.Numbers, (std::array<int32_t, 4>{0, 0, 0, 0}));
}

}  // namespace
