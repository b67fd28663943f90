// orvan-mkpatch build over two trees: one entry per changed, added and deleted file, expansion
// files optional, the same bytes every time, and trees the engine would refuse refused up front.
#include <gtest/gtest.h>
#include <unistd.h>

#include "mkpatch/build_command.h"
#include "patchw32/format/hash.h"
#include "patchw32/format/payload_reader.h"
#include "platform/files.h"
#include "tests/unit/patchw32/engine/engine_fixture.h"

namespace enginetest {
namespace {

payload::Hash128 HashOf(const std::string& text) {
  return payload::Hash128Of(std::as_bytes(std::span(text.data(), text.size())));
}

payload::PayloadIndex ReadIndex(const fs::path& updater) {
  auto file = platform::File::Open(updater.string(), platform::File::Mode::Read);
  payload::PayloadIndex index;
  std::string error;
  EXPECT_TRUE(file && payload::ReadPayloadIndex(*file, index, error)) << error;
  return index;
}

const std::vector<std::string> kRecords = {"Versions,Orvan,Orvan.exe,1.1.0,1.2.0",
                                           "expansion,Orvan Isles,305419896,1.0.1,XPDATA"};

TEST(Builder, OneEntryPerChangedAddedAndDeletedFile) {
  TempFolder work;
  Tree oldTree = {{"a.txt", "one"}, {"same.txt", "same"}, {"gone.txt", "old"}, {"isle.xpd", "x1"},
                  {"ISLE2.XPD", "y1"}, {"notes.xpdata", "n1"}, {"Data/Level.pak", CodeLike(3000, 3)}};
  Tree newTree = {{"a.txt", "two!"}, {"same.txt", "same"}, {"isle.xpd", "x2"}, {"ISLE2.XPD", "y2"},
                  {"notes.xpdata", "n2"}, {"data/level.pak", CodeLike(3000, 4)}, {"new/added.txt", "fresh"}};
  auto index = ReadIndex(BuildUpdater(work.Path(), oldTree, newTree, kRecords));
  struct Expected {
    const char* path;
    payload::Operation operation;
    bool optional;
    const char* oldName;  // in oldTree, or null
    const char* newName;  // in newTree, or null
  };
  using payload::Operation;
  // Sorted by path; data/level.pak pairs with Data/Level.pak, as Windows would take them.
  const Expected expected[] = {
      {"ISLE2.XPD", Operation::Modify, true, "ISLE2.XPD", "ISLE2.XPD"},
      {"a.txt", Operation::Modify, false, "a.txt", "a.txt"},
      {"data/level.pak", Operation::Modify, false, "Data/Level.pak", "data/level.pak"},
      {"gone.txt", Operation::Delete, false, "gone.txt", nullptr},
      {"isle.xpd", Operation::Modify, true, "isle.xpd", "isle.xpd"},
      {"new/added.txt", Operation::Add, false, nullptr, "new/added.txt"},
      {"notes.xpdata", Operation::Modify, false, "notes.xpdata", "notes.xpdata"},
  };
  ASSERT_EQ(index.entries.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const auto& entry = index.entries[i];
    const auto& want = expected[i];
    EXPECT_EQ(entry.path, want.path);
    EXPECT_EQ(entry.operation, want.operation) << want.path;
    EXPECT_EQ(entry.Optional(), want.optional) << want.path;
    EXPECT_EQ(entry.oldSize, want.oldName ? oldTree[want.oldName].size() : 0) << want.path;
    EXPECT_EQ(entry.oldHash, want.oldName ? HashOf(oldTree[want.oldName]) : payload::Hash128{}) << want.path;
    EXPECT_EQ(entry.newSize, want.newName ? newTree[want.newName].size() : 0) << want.path;
    EXPECT_EQ(entry.newHash, want.newName ? HashOf(newTree[want.newName]) : payload::Hash128{}) << want.path;
    EXPECT_EQ(entry.codec == payload::Codec::None, want.newName == nullptr) << want.path;
  }
}

TEST(Builder, TheSameTreesGiveTheSameBytes) {
  TempFolder work;
  Tree oldTree, newTree;
  for (int i = 0; i < 40; ++i) {
    oldTree["f" + std::to_string(i)] = CodeLike(2000 + i * 100, i);
    newTree["f" + std::to_string(i)] = CodeLike(2000 + i * 100, i + (i % 3 == 0));
  }
  auto first = ReadFile(BuildUpdater(work.Path(), oldTree, newTree, kRecords));
  auto second = ReadFile(BuildUpdater(work.Path(), oldTree, newTree, kRecords));
  EXPECT_EQ(first, second);
}

TEST(Builder, RefusesTreesTheEngineCouldNotApplyAndLeavesNothingBehind) {
  struct Row {
    const char* name;
    Tree oldTree;
    Tree newTree;
    std::function<void(const fs::path& work)> extra;
  };
  const std::vector<Row> rows = {
      {"names differing only in case", {}, {{"a.txt", "1"}, {"A.TXT", "2"}}, nullptr},
      {"a file that becomes a folder", {{"data", "file"}}, {{"data/x", "now a folder"}}, nullptr},
      {"a device name", {}, {{"aux.txt", "1"}}, nullptr},
      {"one of the engine's own names", {}, {{"a.new.orvan~", "1"}}, nullptr},
      {"a symbolic link", {}, {{"a.txt", "1"}},
       [](const fs::path& work) { fs::create_symlink("a.txt", work / "new" / "link.txt"); }},
  };
  for (const auto& row : rows) {
    TempFolder work;
    ResetTree(work.Path() / "old", row.oldTree);
    ResetTree(work.Path() / "new", row.newTree);
    if (row.extra) row.extra(work.Path());
    WriteFile(work.Path() / "records.txt", "versions,a,a.exe,1,2\n");
    WriteFile(work.Path() / "stub", "stub");
    auto p = [&](const char* name) { return (work.Path() / name).string(); };
    EXPECT_THROW(mkpatch::BuildCommand({"--old", p("old"), "--new", p("new"), "--records", p("records.txt"),
                                        "--stub", p("stub"), "--out", p("out")},
                                       ""),
                 std::runtime_error)
        << row.name;
    Tree left = ReadTree(work.Path());
    for (const auto& [path, contents] : left)
      EXPECT_TRUE(path.starts_with("old") || path.starts_with("new") || path == "records.txt" || path == "stub")
          << row.name << " left " << path;
  }
}

TEST(Builder, RefusesIncompleteOptions) {
  TempFolder work;
  WriteTree(work.Path() / "old", {{"a", "1"}});
  WriteFile(work.Path() / "records.txt", "versions,a,a.exe,1,2\n");
  WriteFile(work.Path() / "stub", "stub");
  auto p = [&](const char* name) { return (work.Path() / name).string(); };
  const std::vector<std::vector<std::string>> bad = {
      {"--old", p("old"), "--records", p("records.txt"), "--stub", p("stub"), "--out", p("out")},
      {"--old", p("old"), "--new", p("missing"), "--records", p("records.txt"), "--stub", p("stub"), "--out", p("out")},
      {"--records", p("records.txt"), "--stub", p("stub"), "--out", p("out"), "--level", "30"},
      {"--records", p("records.txt"), "--stub", p("stub"), "--out", p("out"), "--level", "fast"},
  };
  for (const auto& args : bad) {
    EXPECT_THROW(mkpatch::BuildCommand(args, ""), std::runtime_error) << args[1];
    EXPECT_FALSE(fs::exists(work.Path() / "out"));
  }
}

}  // namespace
}  // namespace enginetest
