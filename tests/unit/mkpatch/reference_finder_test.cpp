// Finding the old file a new one came from: by content, wherever the bytes stand, and not from
// bytes that many files share.
#include "mkpatch/reference_finder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace mkpatch {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::byte>;

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::byte>(random());
  return bytes;
}

Bytes Join(std::initializer_list<std::span<const std::byte>> parts) {
  Bytes out;
  for (auto part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Old files on disk, in path order as the tree walk gives them.
class OldTree {
 public:
  explicit OldTree(const std::vector<std::pair<std::string, Bytes>>& files) {
    std::string pattern = (fs::temp_directory_path() / "finder-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    for (const auto& [path, bytes] : files) {
      std::ofstream(root_ / path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      files_.push_back({path, (root_ / path).string(), bytes.size()});
    }
  }
  ~OldTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  const std::vector<TreeFile>& Files() const { return files_; }

 private:
  fs::path root_;
  std::vector<TreeFile> files_;
};

TEST(ReferenceFinder, FingerprintsDoNotDependOnWhereTheBytesStand) {
  Bytes body = Random(200000, 1);
  auto alone = Fingerprints(body);
  auto shifted = Fingerprints(Join({Random(777, 2), body}));
  ASSERT_GT(alone.size(), 100u);  // about one every 512 bytes
  // Only a print within the first 64 bytes of the body may be missing from the shifted copy.
  size_t shared = 0;
  for (uint64_t print : alone) shared += std::binary_search(shifted.begin(), shifted.end(), print);
  EXPECT_GE(shared + 1, alone.size());
}

TEST(ReferenceFinder, FindsTheOldFileANewOneWasMadeFrom) {
  Bytes a = Random(300000, 10), b = Random(300000, 11), c = Random(300000, 12);
  Bytes zeros(300000);
  OldTree old({{"a.pak", a}, {"b.pak", b}, {"c.pak", c}, {"z1.bin", zeros}});
  ReferenceFinder finder(old.Files(), 2);
  auto edited = b;
  for (size_t i = 1000; i < 300000; i += 20000) edited[i] ^= std::byte{1};
  struct Case {
    const char* name;
    Bytes newFile;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"renamed and edited", edited, {"b.pak"}},
      {"a quarter split off", Bytes(c.begin() + 100000, c.begin() + 175000), {"c.pak"}},
      {"merged: more of c than of a", Join({std::span(a).first(100000), std::span(c).first(200000)}), {"c.pak", "a.pak"}},
      {"three merged", Join({std::span(a).first(100000), std::span(b).first(90000), std::span(c).first(80000)}),
       {"a.pak", "b.pak", "c.pak"}},
      {"unrelated", Random(300000, 13), {}},
      {"a little of a in much new", Join({std::span(a).first(20000), Random(280000, 14)}), {}},
      {"b, and a sliver of a", Join({b, std::span(a).first(5000)}), {"b.pak"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> found;
    for (const TreeFile* file : finder.Find(c.newFile, 8)) found.push_back(file->path);
    EXPECT_EQ(found, c.expected);
  }
  // No more than asked for.
  auto three = Join({std::span(a).first(100000), std::span(b).first(90000), std::span(c).first(80000)});
  EXPECT_EQ(finder.Find(three, 2).size(), 2u);
}

TEST(ReferenceFinder, ACopyHeldByManyFilesTiesToTheFirstPathAndCommonBytesSayNothing) {
  Bytes shared = Random(100000, 20);
  std::vector<std::pair<std::string, Bytes>> files;
  for (char name = 'a'; name <= 'c'; ++name) files.push_back({std::string(1, name) + ".dat", shared});
  // Twelve files holding one block (a common header, say): its prints are too common to count.
  Bytes common = Random(50000, 21);
  for (int i = 0; i < 12; ++i) files.push_back({"x" + std::to_string(i) + ".bin", common});
  OldTree old(files);
  ReferenceFinder finder(old.Files(), 1);
  auto found = finder.Find(shared, 8);
  ASSERT_EQ(found.size(), 1u);  // b and c hold nothing a does not
  EXPECT_EQ(found.front()->path, "a.dat");
  EXPECT_TRUE(finder.Find(common, 8).empty());
  // A changed file's own old file wins a tie: c.dat, changed, is coded against itself alone.
  found = finder.Find(shared, 8, "c.dat");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found.front()->path, "c.dat");
}

}  // namespace
}  // namespace mkpatch
