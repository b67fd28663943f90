// What the engine asks of files: opens that refuse anything but a regular file without waiting
// on it, hard links, and folder identities that follow the folder, not the path.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <span>

#include "platform/files.h"
#include "tests/unit/platform/child_process.h"

namespace platformtest {
namespace {

namespace fs = std::filesystem;
using platform::File;

class Folder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "files-test-XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(folder_); }
  fs::path folder_;
};

TEST_F(Folder, OnlyARegularFileOpensAndNothingElseIsWaitedOn) {
  std::ofstream(folder_ / "file") << "contents";
  ASSERT_EQ(mkfifo((folder_ / "pipe").c_str(), 0644), 0);
  fs::create_directory(folder_ / "folder");
  struct Case {
    const char* path;
    bool opens;
  };
  const Case cases[] = {{"file", true}, {"pipe", false}, {"folder", false}, {"/dev/null", false}};
  for (auto mode : {File::Mode::Read, File::Mode::ReadWrite, File::Mode::CreateTruncate}) {
    for (const auto& c : cases) {
      std::string path = c.path[0] == '/' ? std::string(c.path) : (folder_ / c.path).string();
      SCOPED_TRACE(path + " mode " + std::to_string(static_cast<int>(mode)));
      // A named pipe opened for reading would wait for a writer: the child would not end.
      int opened = RunInChild([&] { return File::Open(path, mode) ? 1 : 0; }, 5);
      EXPECT_EQ(opened, c.opens ? 1 : 0);
    }
  }
  // Refusing a pipe left it a pipe, and a file opened for reading reads.
  EXPECT_EQ(fs::status(folder_ / "pipe").type(), fs::file_type::fifo);
  std::ofstream(folder_ / "file") << "contents";
  auto file = File::Open((folder_ / "file").string(), File::Mode::Read);
  ASSERT_NE(file, nullptr);
  std::string text(8, '\0');
  ASSERT_TRUE(file->ReadAt(0, std::as_writable_bytes(std::span(text))));
  EXPECT_EQ(text, "contents");
}

TEST_F(Folder, ALinkIsASecondNameOfTheSameFile) {
  std::ofstream(folder_ / "a") << "original";
  ASSERT_TRUE(platform::LinkFile((folder_ / "a").string(), (folder_ / "b").string()));
  // Replacing the first name leaves the second with the original contents.
  std::ofstream(folder_ / "new") << "replacement";
  ASSERT_TRUE(platform::ReplaceByRename((folder_ / "new").string(), (folder_ / "a").string()));
  std::ifstream b(folder_ / "b");
  std::string text((std::istreambuf_iterator<char>(b)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "original");
  // A link never replaces a name that is taken.
  EXPECT_FALSE(platform::LinkFile((folder_ / "a").string(), (folder_ / "b").string()));
  EXPECT_FALSE(platform::LinkFile((folder_ / "missing").string(), (folder_ / "c").string()));
}

TEST_F(Folder, AFolderKeepsItsIdentityWhateverPathNamesIt) {
  fs::create_directory(folder_ / "game");
  fs::create_directory(folder_ / "other");
  fs::create_directory_symlink(folder_ / "game", folder_ / "shortcut");
  std::ofstream(folder_ / "file") << "x";
  auto game = platform::FolderIdentity((folder_ / "game").string());
  ASSERT_TRUE(game);
  EXPECT_EQ(platform::FolderIdentity((folder_ / "shortcut").string()), game);
  EXPECT_EQ(platform::FolderIdentity((folder_ / "other" / ".." / "game").string()), game);
  EXPECT_NE(platform::FolderIdentity((folder_ / "other").string()), game);
  EXPECT_FALSE(platform::FolderIdentity((folder_ / "file").string()));
  EXPECT_FALSE(platform::FolderIdentity((folder_ / "missing").string()));
}

}  // namespace
}  // namespace platformtest
