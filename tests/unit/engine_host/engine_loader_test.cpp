// The loader writes the carried engine out, calls it once and always cleans up after itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine_loader.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::byte> ResourceFrom(const char* libraryPath) {
  std::ifstream in(libraryPath, std::ios::binary);
  std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  uint32_t length = static_cast<uint32_t>(image.size());
  std::vector<std::byte> resource(sizeof length + image.size());
  std::memcpy(resource.data(), &length, sizeof length);
  std::memcpy(resource.data() + sizeof length, image.data(), image.size());
  return resource;
}

std::vector<std::string> calls;

const char* PATCHW32_CALL Recorder(uint32_t id, void* parameter) {
  calls.push_back(std::to_string(id) + ":" + static_cast<const char*>(parameter));
  return "";
}

class EngineLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    temp = fs::temp_directory_path() /
           ("orvan-loader-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(temp);
    fs::create_directories(temp);
  }
  void TearDown() override { fs::remove_all(temp); }

  engine::EngineHost Host(std::span<const std::byte> resource) {
    return {"/games/orvan/OrvanUpdate.exe", temp.string(), resource};
  }
  bool TempFolderEmpty() const { return fs::is_empty(temp); }

  fs::path temp;
  std::vector<std::byte> echo = ResourceFrom(ECHO_ENGINE);
};

TEST_F(EngineLoaderTest, CallsTheEngineOnceWithTheUpdaterPathInFront) {
  EXPECT_EQ(engine::RunPatchEngineWith(Host(echo), "\"/games/orvan\" -i -l", Recorder, 1), 0);
  EXPECT_EQ(calls, std::vector<std::string>{"11:/z \"/games/orvan/OrvanUpdate.exe\" \"/games/orvan\" -i -l"});
  EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(EngineLoaderTest, ReturnsTheEnginesResultUnchanged) {
  EXPECT_EQ(engine::RunPatchEngineWith(Host(echo), "-result:7", Recorder, 1), 7);
  EXPECT_EQ(engine::RunPatchEngineWith(Host(echo), "-result:32770", Recorder, 1), 32770);
  EXPECT_EQ(engine::RunPatchEngineWith(Host(echo), "", Recorder, 3), 2);  // the wait flag is passed on
  EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(EngineLoaderTest, EmptyAndVeryLongArgumentsArePassedWhole) {
  engine::RunPatchEngineWith(Host(echo), "", Recorder, 1);
  std::string longArguments = "\"" + std::string(10000, 'x') + "\" -i -u -b:Update_1.1.0_Backup";
  engine::RunPatchEngineWith(Host(echo), longArguments, Recorder, 1);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], "11:/z \"/games/orvan/OrvanUpdate.exe\" ");
  EXPECT_EQ(calls[1], "11:/z \"/games/orvan/OrvanUpdate.exe\" " + longArguments);
}

TEST_F(EngineLoaderTest, FailuresReturnEngineLoadFailedAndLeaveNoTemporaryFile) {
  std::vector<std::byte> lyingLength = echo;
  lyingLength[0] = std::byte{0xFF}, lyingLength[1] = std::byte{0xFF}, lyingLength[2] = std::byte{0xFF};
  std::vector<std::byte> notALibrary(64, std::byte{0x41});
  notALibrary[0] = std::byte{60}, notALibrary[1] = std::byte{0}, notALibrary[2] = std::byte{0}, notALibrary[3] = std::byte{0};
  std::vector<std::byte> exportless = ResourceFrom(EXPORTLESS_ENGINE);
  struct Case {
    const char* name;
    std::span<const std::byte> resource;
  };
  const Case cases[] = {
      {"no resource", {}},
      {"resource shorter than its length field", std::span(echo).first(3)},
      {"length past the resource", lyingLength},
      {"not a library", notALibrary},
      {"no PatchApply32 export", exportless},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(engine::RunPatchEngineWith(Host(c.resource), "\"x\" -i -l", Recorder, 1), engine::EngineLoadFailed);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(TempFolderEmpty());
  }
}

TEST_F(EngineLoaderTest, AnUnusableTemporaryFolderFailsWithoutCallingAnything) {
  fs::path notAFolder = temp / "file";
  std::ofstream(notAFolder) << "x";
  for (const fs::path& folder : {notAFolder, temp / "missing"}) {
    engine::EngineHost host{"/u.exe", folder.string(), echo};
    EXPECT_EQ(engine::RunPatchEngineWith(host, "\"x\" -i -l", Recorder, 1), engine::EngineLoadFailed);
  }
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
}

TEST_F(EngineLoaderTest, AProgramWithoutTheEngineResourceFails) {
  // This test program carries no engine.
  EXPECT_EQ(engine::RunPatchEngine("\"x\" -i -l", Recorder, 1), engine::EngineLoadFailed);
  EXPECT_TRUE(calls.empty());
}

TEST_F(EngineLoaderTest, AScriptedEngineTakesTheRealOnesPlace) {
  engine::SetEngineRunnerForTesting([](const std::string& arguments, engine::EngineCallback callback, int32_t) {
    return static_cast<int32_t>(arguments.size());
  });
  EXPECT_EQ(engine::RunPatchEngine("abc", Recorder, 1), 3);
  engine::SetEngineRunnerForTesting(nullptr);
  EXPECT_EQ(engine::RunPatchEngine("abc", Recorder, 1), engine::EngineLoadFailed);
}

}  // namespace
