// The current folder however deep it lies: a folder path longer than PATH_MAX is read whole.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/files.h"

namespace platformtest {
namespace {

namespace fs = std::filesystem;

TEST(CurrentFolder, IsReadWholeInAFolderDeeperThanPathMax) {
  std::string pattern = (fs::temp_directory_path() / "current-folder-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  std::string root = fs::canonical(pattern).string();
  int start = open(".", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(start, 0);
  ASSERT_EQ(chdir(root.c_str()), 0);

  // Made one level at a time, relative to the last: no call ever takes the whole path.
  const std::string name(200, 'd');
  std::string expected = root;
  int levels = 0;
  while (expected.size() <= PATH_MAX + 200) {
    ASSERT_EQ(mkdir(name.c_str(), 0700), 0);
    ASSERT_EQ(chdir(name.c_str()), 0);
    expected += "/" + name;
    ++levels;
  }
  std::string read = platform::CurrentFolder();

  for (int i = 0; i < levels; ++i) {
    ASSERT_EQ(chdir(".."), 0);
    ASSERT_EQ(rmdir(name.c_str()), 0);
  }
  ASSERT_EQ(fchdir(start), 0);
  close(start);
  rmdir(root.c_str());
  EXPECT_EQ(read.size(), expected.size());
  EXPECT_EQ(read, expected);
}

}  // namespace
}  // namespace platformtest
