// The expansion file scanner: the array it keeps, its order, the scan's limit and counts.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "patchw32/format/expansion_header.h"
#include "src/detect/xpd_manager.h"
#include "tests/unit/detect/test_folder.h"
#include "tests/unit/patchw32/format/expansion_header_bytes.h"

namespace {

using detect_test::TempFolder;
using expansion_test::HeaderBytes;

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
