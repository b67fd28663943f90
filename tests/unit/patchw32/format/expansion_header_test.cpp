// The expansion (.XPD) header: the bit tables, which headers are valid, encoding, version texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <set>
#include <string>

#include "patchw32/format/expansion_header.h"
#include "tests/unit/patchw32/format/expansion_header_bytes.h"

namespace {

using expansion_test::HeaderBytes;

uint32_t IdOf(const HeaderBytes& header) {
  return ExtractIdFromHeader(DecodeExpansionHeader(std::as_bytes(std::span(header.bytes))));
}

TEST(ExpansionTables, AreTwoDisjointSetsOf32PositionsBelow96) {
  std::set<unsigned> positions;
  for (unsigned p : IdBitTable) positions.insert(p);
  for (unsigned p : CheckBitTable) positions.insert(p);
  EXPECT_EQ(positions.size(), 64u);
  EXPECT_LT(*positions.rbegin(), 96u);
  EXPECT_NE(ReservedId, 0u);
}

TEST(ExtractId, AcceptsOnlyHeadersWhoseBitsAgree) {
  constexpr uint32_t kId = 305419896;
  struct Case {
    const char* name;
    HeaderBytes header;
    uint32_t expected;
  };
  HeaderBytes wrongMagic = HeaderBytes::Valid(kId, 0x5A5A5A5A, 31);
  wrongMagic.Word(8, 0xFA7E8440);
  HeaderBytes tooManyChecks = HeaderBytes::Valid(kId, 0, 31);
  tooManyChecks.Word(4, 32);
  HeaderBytes wrongCheckValue = HeaderBytes::Valid(kId, 0x1234, 31);
  wrongCheckValue.Word(20, 0x1235);
  HeaderBytes checkValueBeyondBits = HeaderBytes::Valid(kId, 1, 0);
  checkValueBeyondBits.Word(20, 3);  // CheckCount 0 gathers one bit: 3 can never agree
  HeaderBytes unusedBitsSet = HeaderBytes::Valid(kId, 0x0F0F0F0F, 31);
  for (unsigned p = 0; p < 96; ++p)
    if (std::find(IdBitTable.begin(), IdBitTable.end(), p) == IdBitTable.end() &&
        std::find(CheckBitTable.begin(), CheckBitTable.end(), p) == CheckBitTable.end())
      unusedBitsSet.SetBit(p);

  const Case cases[] = {
      {"all 32 check bits", HeaderBytes::Valid(kId, 0xDEADBEEF, 31), kId},
      {"one check bit, 0", HeaderBytes::Valid(kId, 0, 0), kId},
      {"one check bit, 1", HeaderBytes::Valid(kId, 1, 0), kId},
      {"bits above CheckCount are not checked", HeaderBytes::Valid(kId, 0xFFFFFFFF, 3), kId},
      {"the largest identifier", HeaderBytes::Valid(ReservedId - 1, 7, 5), ReservedId - 1},
      {"positions neither table names carry nothing", unusedBitsSet, kId},
      {"wrong magic", wrongMagic, 0},
      {"CheckCount above 31", tooManyChecks, 0},
      {"CheckValue differs", wrongCheckValue, 0},
      {"CheckValue beyond the gathered bits", checkValueBeyondBits, 0},
      {"identifier bits all zero", HeaderBytes::Valid(0, 0x77, 31), 0},
      {"reserved identifier", HeaderBytes::Valid(ReservedId, 0x77, 31), 0},
      {"all-zero header", HeaderBytes{}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(IdOf(c.header), c.expected) << c.name;
}

TEST(ExtractId, FlippedCheckBitInvalidatesAndFlippedIdBitChangesTheId) {
  constexpr uint32_t kId = 0x13572468;
  for (uint32_t checkCount : {0u, 12u, 31u}) {
    for (unsigned t = 0; t <= checkCount; ++t) {
      HeaderBytes header = HeaderBytes::Valid(kId, 0xA5A5A5A5, checkCount);
      header.FlipBit(CheckBitTable[t]);
      EXPECT_EQ(IdOf(header), 0u) << "check bit " << t << " of " << checkCount + 1;
    }
  }
  for (unsigned t = 0; t < 32; ++t) {
    HeaderBytes header = HeaderBytes::Valid(kId, 0xA5A5A5A5, 31);
    header.FlipBit(IdBitTable[t]);
    EXPECT_EQ(IdOf(header), kId ^ (1u << t)) << "identifier bit " << t;
  }
}

TEST(EncodeExpansionHeader, WritesAValidHeaderAndKeepsTheBytesItDoesNotOwn) {
  std::array<std::byte, kExpansionHeaderSize> bytes;
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::byte>(0xC3 ^ i);
  const auto before = bytes;
  for (uint32_t checkCount : {0u, 7u, 31u}) {
    EncodeExpansionHeader(bytes, 3000000000u, 2010300, checkCount);
    ExpansionFileHeader header = DecodeExpansionHeader(bytes);
    EXPECT_EQ(ExtractIdFromHeader(header), 3000000000u) << checkCount;
    EXPECT_EQ(header.CheckCount, checkCount);
    EXPECT_EQ(header.VersionNumber, 2010300);
  }
  for (size_t offset : {0, 1, 2, 3, 16, 17, 18, 19, 36, 80, 115}) EXPECT_EQ(bytes[offset], before[offset]) << offset;
}

TEST(FormatVersionNumber, WritesThreeOrFourFields) {
  struct Case {
    int32_t number;
    const char* text;
    int fields;
  };
  const Case cases[] = {
      {1020304, "1.2.3.4", 4},     {1020300, "1.2.3", 3},         {12345678, "12.34.56.78", 4},
      {0, "0.0.0", 3},             {1000000, "1.0.0", 3},         {1000001, "1.0.0.1", 4},
      {-5, "0.0.0", 3},            {-1020304, "-1.-2.-3", 3},     {INT_MAX, "2147.48.36.47", 4},
      {INT_MIN, "-2147.-48.-36", 3},
  };
  for (const Case& c : cases) {
    std::string text = "old";
    EXPECT_EQ(FormatVersionNumber(c.number, text), c.fields) << c.number;
    EXPECT_EQ(text, c.text) << c.number;
    EXPECT_LE(text.size(), 15u);
  }
}

}  // namespace
