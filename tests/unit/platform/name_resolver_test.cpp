// Which file Windows would open for a name, on a case-sensitive file system: the three lookups
// that answer it (FindOnDisk, ExpandLongPath, ResolveInFolder) give one answer, and the directory
// search lists case variants in one order.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"

namespace platformtest {
namespace {

namespace fs = std::filesystem;

class NameResolver : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "names-test-XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    fs::create_directories(folder_ / "Data" / "Maps");
    fs::create_directories(folder_ / "Légendes");
    for (const char* name : {"Data/Maps/Start.map", "VARIANT.txt", "Variant.txt", "variant.TXT", "exact.txt",
                             "EXACT.txt", "file.bin", "Légendes/Orvän.EXE", "Острова.xpd"})
      std::ofstream(folder_ / name) << name;
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string Folder() const { return folder_.string(); }
  fs::path folder_;
};

TEST_F(NameResolver, EveryLookupOpensTheSameFile) {
  struct Case {
    const char* name;
    const char* relative;
    const char* onDisk;  // relative to the folder
    bool found;
  };
  const Case cases[] = {
      {"mixed-case components", "data/maps/start.map", "Data/Maps/Start.map", true},
      {"exact spelling", "Data/Maps/Start.map", "Data/Maps/Start.map", true},
      {"a folder", "DATA/MAPS", "Data/Maps", true},
      {"several case variants: the first in byte order", "variant.txt", "VARIANT.txt", true},
      {"the exact name before its case variants", "exact.txt", "exact.txt", true},
      {"a missing component keeps the rest as written", "data/NoSuch/maps", "Data/NoSuch/maps", false},
      {"a missing file in a found folder", "data/maps/New.map", "Data/Maps/New.map", false},
      {"nothing below a file", "FILE.BIN/data", "file.bin/data", false},
      {"letters outside ASCII in another case", "LÉGENDES/ORVÄN.exe", "Légendes/Orvän.EXE", true},
      {"Cyrillic in another case", "ОСТРОВА.XPD", "Острова.xpd", true},
      {"an accented letter is not its plain one", "legendes/orvan.exe", "legendes/orvan.exe", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string expected = Folder() + "/" + c.onDisk;
    EXPECT_EQ(platform::FindOnDisk(Folder() + "/" + c.relative), expected);
    EXPECT_EQ(platform::ResolveInFolder(Folder(), c.relative), expected);
    std::string expanded = "untouched";
    EXPECT_EQ(platform::ExpandLongPath(Folder() + "/" + c.relative, expanded), c.found);
    EXPECT_EQ(expanded, c.found ? expected : "untouched");
  }
}

TEST_F(NameResolver, ASearchListsCaseVariantsInOneOrder) {
  auto variants = platform::DirectorySearch::Start(Folder() + "/VARIANT.*");
  ASSERT_NE(variants, nullptr);
  std::vector<std::string> names;
  do names.push_back(variants->Name());
  while (variants->Next());
  EXPECT_EQ(names, (std::vector<std::string>{"VARIANT.txt", "Variant.txt", "variant.TXT"}));
  // The pattern's folder is found in any case as well.
  auto search = platform::DirectorySearch::Start(Folder() + "/data/MAPS/*.MAP");
  ASSERT_NE(search, nullptr);
  EXPECT_EQ(search->Name(), "Start.map");
  EXPECT_FALSE(search->Next());
  // '?' stands for one letter however many bytes it takes.
  auto accented = platform::DirectorySearch::Start(Folder() + "/légendes/ORV?N.*");
  ASSERT_NE(accented, nullptr);
  EXPECT_EQ(accented->Name(), "Orvän.EXE");
  auto cyrillic = platform::DirectorySearch::Start(Folder() + "/*.XPD");
  ASSERT_NE(cyrillic, nullptr);
  EXPECT_EQ(cyrillic->Name(), "Острова.xpd");
}

}  // namespace
}  // namespace platformtest
