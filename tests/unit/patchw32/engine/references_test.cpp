// Files made from another old file than their own: the builder finds where a renamed, copied or
// split-off file came from, and the engine decodes it from there, checks it first, and leaves the
// file alone when that old file is not as expected.
#include <gtest/gtest.h>

#include <map>

#include "patchw32/format/payload_reader.h"
#include "platform/files.h"
#include "tests/unit/patchw32/engine/engine_fixture.h"

namespace enginetest {
namespace {

const std::vector<std::string> kRecords = {"Versions,Orvan,Orvan.exe,1.1.0,1.2.0"};

std::string Edited(std::string bytes, size_t at, const std::string& text) { return bytes.replace(at, text.size(), text); }

// The old pack is moved and edited, copied elsewhere with other edits, and its old place deleted;
// two sound banks are merged into one; most of one script moves into another; the exe is only
// edited.
struct Releases {
  std::string pack = CodeLike(400000, 7);
  std::string sounds1 = CodeLike(150000, 8), sounds2 = CodeLike(120000, 9);
  std::string small = CodeLike(20000, 10), large = CodeLike(200000, 11);
  Tree oldTree = {{"Orvan.exe", CodeLike(30000, 1)}, {"data/old.pak", pack},
                  {"sfx/one.bank", sounds1}, {"sfx/two.bank", sounds2},
                  {"code/a.js", small}, {"code/b.js", large}};
  Tree newTree = {{"Orvan.exe", Edited(CodeLike(30000, 1), 100, "v2")},
                  {"Data2/moved.pak", Edited(pack, 5000, "moved")},
                  {"copies/copy.pak", Edited(pack, 390000, "copied")},
                  {"sfx/all.bank", Edited(sounds2 + sounds1, 200000, "merged")},
                  {"code/a.js", small + large.substr(0, 150000)}, {"code/b.js", large.substr(150000)}};
};

class References : public ::testing::Test {
 protected:
  void SetUp() override {
    updater_ = BuildUpdater(work_.Path(), releases_.oldTree, releases_.newTree, kRecords);
    ResetTree(install_, releases_.oldTree);
  }
  int32_t Run(const std::string& arguments) { return RunPass(updater_, install_, arguments, script_); }

  TempFolder work_;
  Releases releases_;
  fs::path install_ = work_.Path() / "install";
  fs::path updater_;
  Script script_;
};

TEST_F(References, NewFilesAreMadeFromTheDeletedOldOnesAndCostLittle) {
  auto file = platform::File::Open(updater_.string(), platform::File::Mode::Read);
  payload::PayloadIndex index;
  std::string error;
  ASSERT_TRUE(file && payload::ReadPayloadIndex(*file, index, error)) << error;
  std::map<std::string, std::vector<std::string>> madeFrom;
  for (const auto& entry : index.entries) {
    if (entry.operation == payload::Operation::Delete || entry.path == "Orvan.exe") continue;
    EXPECT_LT(entry.dataLength, 2000u) << entry.path;
    for (const auto& reference : entry.references) madeFrom[entry.path].push_back(reference.path);
  }
  using Paths = std::vector<std::string>;
  EXPECT_EQ(madeFrom, (std::map<std::string, Paths>{{"Data2/moved.pak", Paths{"data/old.pak"}},
                                                    {"copies/copy.pak", Paths{"data/old.pak"}},
                                                    {"sfx/all.bank", Paths{"sfx/one.bank", "sfx/two.bank"}},
                                                    {"code/a.js", Paths{"code/b.js", "code/a.js"}}}));

  ASSERT_EQ(Run("-u "), 0);
  Tree expected = releases_.newTree;
  expected["Data2/"] = expected["copies/"] = expected["data/"] = expected["sfx/"] = expected["code/"] = "";
  EXPECT_EQ(ReadTree(install_), expected);
}

TEST_F(References, AChangedReferenceLeavesWhatIsMadeFromItAloneAndNamesIt) {
  WriteFile(install_ / "data/old.pak", "the player's own pack");
  ASSERT_EQ(Run("-j"), 0);
  const Event* notice = FindText(script_.events, 2, "is made from data/old.pak");
  ASSERT_NE(notice, nullptr);
  EXPECT_NE(notice->text.find("left as it is"), std::string::npos);

  ASSERT_EQ(Run("-u "), 0);
  Tree expected = releases_.newTree;
  expected.erase("Data2/moved.pak");
  expected.erase("copies/copy.pak");
  expected["data/old.pak"] = "the player's own pack";
  expected["data/"] = expected["sfx/"] = expected["code/"] = "";
  EXPECT_EQ(ReadTree(install_), expected);
}

TEST_F(References, AMissingReferenceIsAMismatchToo) {
  fs::remove(install_ / "data/old.pak");
  fs::remove(install_ / "sfx/two.bank");
  ASSERT_EQ(Run("-u "), 0);
  EXPECT_NE(FindText(script_.events, 2, "is made from data/old.pak, which is missing"), nullptr);
  EXPECT_NE(FindText(script_.events, 2, "is made from sfx/one.bank and sfx/two.bank, one of which is"), nullptr);
  // Each entry stands on its own: the bank that is there is still deleted, as the release says.
  EXPECT_FALSE(fs::exists(install_ / "sfx/all.bank"));
  EXPECT_FALSE(fs::exists(install_ / "sfx/one.bank"));
  EXPECT_EQ(ReadFile(install_ / "Orvan.exe"), releases_.newTree["Orvan.exe"]);
  EXPECT_FALSE(fs::exists(install_ / "Data2/moved.pak"));
  EXPECT_FALSE(fs::exists(install_ / "copies/copy.pak"));
}

}  // namespace
}  // namespace enginetest
