// The volume that holds a folder, as the player is told about it: on posix the file system
// holding the folder, measured there; a path written with a drive letter names that drive.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/files.h"

namespace platformtest {
namespace {

namespace fs = std::filesystem;

class VolumeOf : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "volume-test-XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(folder_); }
  fs::path folder_;
};

// Others write to the same disk meanwhile: the two readings are only close.
void ExpectAbout(std::optional<uint64_t> bytes, uint64_t expected) {
  ASSERT_TRUE(bytes.has_value());
  constexpr uint64_t kSlack = uint64_t{256} << 20;
  EXPECT_LT(*bytes > expected ? *bytes - expected : expected - *bytes, kSlack) << *bytes << " vs " << expected;
}

TEST_F(VolumeOf, AFolderIsMeasuredOnItsOwnFileSystem) {
  platform::Volume volume = platform::VolumeHolding(folder_.string());
  EXPECT_FALSE(volume.DriveLetter.has_value());
  EXPECT_EQ(volume.Name, "the file system holding " + folder_.string());
  ExpectAbout(volume.AvailableBytes, fs::space(folder_).available);
}

TEST_F(VolumeOf, NamesWithoutAFolderOfTheirOwn) {
  auto cwd = fs::current_path();
  fs::current_path(folder_);
  fs::create_directory("d:game");
  struct Case {
    const char* name;
    std::string folder;
    std::optional<char> driveLetter;
    std::string volumeName;
    bool measured;
  };
  const Case cases[] = {
      {"the current folder", "", std::nullopt, "the file system holding the current folder", true},
      {"a missing folder", (folder_ / "missing").string(), std::nullopt,
       "the file system holding " + (folder_ / "missing").string(), false},
      // There is no drive d here, though a folder "d:game" exists.
      {"a drive letter", "d:game", 'd', "drive d:", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::Volume volume = platform::VolumeHolding(c.folder);
    EXPECT_EQ(volume.DriveLetter, c.driveLetter);
    EXPECT_EQ(volume.Name, c.volumeName);
    if (c.measured)
      ExpectAbout(volume.AvailableBytes, fs::space(folder_).available);
    else
      EXPECT_FALSE(volume.AvailableBytes.has_value());
  }
  fs::current_path(cwd);
}

}  // namespace
}  // namespace platformtest
