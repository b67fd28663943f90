// The expansion file scanner: header validity, version texts, the scan's limit, order and counts.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "src/detect/expansion_header.h"
#include "src/detect/qm_stream_file.h"
#include "tests/unit/detect/test_folder.h"
#include "src/detect/xpd_manager.h"

namespace {

using detect_test::TempFolder;

// A header built from the field layout directly, not through the builder's encoder, so that the
// two can't share a mistake: bit t of the id at IdBitTable[t], bit t of `check` at
// CheckBitTable[t] for t up to checkCount.
struct HeaderBytes {
  std::array<uint8_t, kExpansionHeaderSize> bytes{};

  void Word(size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  void FlipBit(unsigned position) { bytes[24 + position / 8] ^= static_cast<uint8_t>(1u << (position % 8)); }
  void SetBit(unsigned position) { bytes[24 + position / 8] |= static_cast<uint8_t>(1u << (position % 8)); }

  static HeaderBytes Valid(uint32_t id, uint32_t check, uint32_t checkCount, int32_t version = 1000100) {
    HeaderBytes header;
    header.Word(4, checkCount);
    header.Word(8, 0xFA7E843F);
    header.Word(12, static_cast<uint32_t>(version));
    uint32_t stored = 0;
    for (unsigned t = 0; t < 32; ++t)
      if ((id >> t) & 1) header.SetBit(IdBitTable[t]);
    for (unsigned t = 0; t <= checkCount && t < 32; ++t)
      if ((check >> t) & 1) header.SetBit(CheckBitTable[t]), stored |= 1u << t;
    header.Word(20, stored);
    return header;
  }
  std::string_view Text() const { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }
};

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

TEST(QMMoveableArray, GrowsByItsStepOnlyWhenFull) {
  QMMoveableArray<int> array(2, 3);
  for (int i = 0; i < 2; ++i) array.AppendSlot() = 10 - i;
  EXPECT_EQ(array.Capacity(), 2);
  array.AppendSlot() = 7;
  EXPECT_EQ(array.Capacity(), 5);
  EXPECT_EQ(array.GrowBy(), 3);
  array.Grow(9, 4);
  EXPECT_EQ(array.Capacity(), 9);
  EXPECT_EQ(array.GrowBy(), 4);
  array.Sort([](int a, int b) { return a - b; });
  EXPECT_EQ((std::vector<int>(array.begin(), array.end())), (std::vector<int>{7, 9, 10}));
  EXPECT_EQ(array.Clear(), 0);
  EXPECT_EQ(array.Count(), 0);
  EXPECT_EQ(array.Capacity(), 0);
  array.AppendSlot() = 1;  // a cleared array grows again from nothing
  EXPECT_EQ(array.Capacity(), 4);
  EXPECT_EQ(array[0], 1);
}

TEST(CompareInfoNames, IgnoresLetterCaseAndPutsShorterNamesFirst) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"A.XPD", "b.XPD", -1}, {"b.XPD", "_c.XPD", -1}, {"Z.XPD", "_.XPD", -1},
      {"abc", "ABC", 0},      {"ab", "abc", -1},       {"\xE9.XPD", "z.XPD", 1},
  };
  for (const Case& c : cases) {
    XPDInfo a, b;
    a.Name = c.a;
    b.Name = c.b;
    int result = CompareInfoNames(&a, &b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
    int reverse = CompareInfoNames(&b, &a);
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.sign) << c.b << " vs " << c.a;
  }
}

std::string FolderOf(const TempFolder& folder) { return folder.Path() + "/"; }

TEST(ScanExpansionFiles, ExaminesAtMost31Files) {
  TempFolder folder;
  for (int i = 0; i < 40; ++i) folder.Write("f" + std::to_string(100 + i) + ".XPD", HeaderBytes::Valid(1000 + i, 0, 31).Text());
  XPDManager manager;
  EXPECT_EQ(manager.ScanExpansionFiles(FolderOf(folder)), 1);
  EXPECT_EQ(manager.ValidCount + manager.InvalidCount, 31);
  EXPECT_EQ(manager.Entries.Count(), 31);
  EXPECT_EQ(manager.Entries.Capacity(), 32);
}

TEST(ScanExpansionFiles, SortsByNameWithoutRegardToCase) {
  TempFolder folder;
  for (const char* name : {"b.XPD", "_c.XPD", "A.XPD"}) folder.Write(name, "");
  XPDManager manager;
  manager.ScanExpansionFiles(FolderOf(folder));
  std::vector<std::string> names;
  for (const auto& entry : manager.Entries) names.push_back(entry->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"A.XPD", "b.XPD", "_c.XPD"}));
}

TEST(ScanExpansionFiles, KeepsAnEntryForEveryExaminedFileValidOrNot) {
  TempFolder folder;
  HeaderBytes valid = HeaderBytes::Valid(424242, 0x3C, 9, 1020304);
  folder.Write("1-empty.XPD", "");
  folder.Write("2-short.XPD", std::string(10, 'x'));
  folder.Write("3-valid.xpd", valid.Text());
  folder.MakeFolder("4-old.XPD");
  // Every field the check reads lies in the first 36 bytes: the rest may be missing.
  folder.Write("5-cut.XPD", valid.Text().substr(0, 36));
  folder.Write("6-flipped.XPD", [&] {
    HeaderBytes flipped = valid;
    flipped.FlipBit(CheckBitTable[0]);
    return std::string(flipped.Text());
  }());
  folder.Write("other.xpdata", valid.Text());
  folder.Write("other.XP", valid.Text());

  XPDManager manager;
  ASSERT_EQ(manager.ScanExpansionFiles(FolderOf(folder)), 1);
  struct Expected {
    const char* name;
    uint32_t id;
    int32_t index;
    const char* version;
  };
  // A folder named like an expansion file is no file: it is passed over, and not counted.
  const Expected expected[] = {
      {"1-empty.XPD", 0, -1, ""},           {"2-short.XPD", 0, -1, "0.0.0"},
      {"3-valid.xpd", 424242, 2, "1.2.3.4"}, {"5-cut.XPD", 424242, 3, "1.2.3.4"},
      {"6-flipped.XPD", 0, -1, "1.2.3.4"},
  };
  ASSERT_EQ(manager.Entries.Count(), 5);
  for (int i = 0; i < 5; ++i) {
    const XPDInfo& entry = *manager.Entries[i];
    EXPECT_EQ(entry.Name, expected[i].name);
    EXPECT_EQ(entry.Id, expected[i].id) << entry.Name;
    EXPECT_EQ(entry.Index, expected[i].index) << entry.Name;
    EXPECT_EQ(entry.VersionText, expected[i].version) << entry.Name;
  }
  EXPECT_EQ(manager.AnyValid, 1);
  EXPECT_EQ(manager.ValidCount, 2);
  EXPECT_EQ(manager.InvalidCount, 3);
}

// A named pipe would block the scan for ever at its open; a socket or a device is no data file.
TEST(ScanExpansionFiles, PassesOverPipesSocketsAndDevicesUnopened) {
  TempFolder folder;
  folder.Write("b-valid.XPD", HeaderBytes::Valid(77, 0, 31).Text());
  std::vector<std::string> pipes = {folder.MakePipe("a-pipe.XPD"), folder.MakePipe("isles.XPD")};
  folder.MakeSocket("c-socket.XPD");
  std::filesystem::create_symlink("/dev/zero", folder.Path("d-device.XPD"));
  XPDManager manager;
  ASSERT_TRUE(detect_test::EndsWithoutBlocking([&] { manager.ScanExpansionFiles(FolderOf(folder)); }, pipes));
  ASSERT_EQ(manager.Entries.Count(), 1);
  EXPECT_EQ(manager.Entries[0]->Name, "b-valid.XPD");
  EXPECT_EQ(manager.Entries[0]->Index, 0);
  EXPECT_EQ(manager.ValidCount, 1);
  EXPECT_EQ(manager.InvalidCount, 0);
}

TEST(ScanExpansionFiles, AFolderOfPipesAloneFindsNothing) {
  TempFolder folder;
  std::vector<std::string> pipes = {folder.MakePipe("isles.XPD")};
  XPDManager manager;
  int found = -1;
  ASSERT_TRUE(detect_test::EndsWithoutBlocking([&] { found = manager.ScanExpansionFiles(FolderOf(folder)); }, pipes));
  EXPECT_EQ(found, 0);
  EXPECT_EQ(manager.Entries.Count(), 0);
}

TEST(ScanExpansionFiles, AddsToWhatTheManagerHoldsAndFindsNothingInAMissingFolder) {
  TempFolder folder;
  folder.Write("a.XPD", HeaderBytes::Valid(5, 0, 31).Text());
  XPDManager manager;
  EXPECT_EQ(manager.ScanExpansionFiles(folder.Path("missing") + "/"), 0);
  EXPECT_EQ(manager.Entries.Count(), 0);
  manager.ScanExpansionFiles(FolderOf(folder));
  manager.ScanExpansionFiles(FolderOf(folder));
  EXPECT_EQ(manager.Entries.Count(), 2);
  EXPECT_EQ(manager.ValidCount, 2);
  EXPECT_EQ(manager.ScanExpansionFiles(folder.Path("missing") + "/"), 1);  // Found stays as it was
}

}  // namespace
