// The loader writes the carried engine out, calls it (once, or for a whole run that keeps it
// loaded) and always cleans up after itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "src/engine_host/engine_loader.h"

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
    fs::create_directories(temp / "tmp");
    std::ofstream(temp / "OrvanUpdate.exe") << "MZ";
    platform::SetMessageBoxHandler([this](const std::string& text, const std::string& caption) {
      messages.push_back(caption + ": " + text);
    });
  }
  void TearDown() override {
    platform::SetMessageBoxHandler(nullptr);
    fs::remove_all(temp);
  }

  engine_host::EngineHost Host(std::span<const std::byte> resource) {
    return {OwnPath(), TempFolder(), resource};
  }
  std::string OwnPath() const { return (temp / "OrvanUpdate.exe").string(); }
  std::string TempFolder() const { return (temp / "tmp").string(); }
  bool TempFolderEmpty() const { return fs::is_empty(temp / "tmp"); }

  fs::path temp;
  std::vector<std::byte> echo = ResourceFrom(ECHO_ENGINE);
  std::vector<std::string> messages;  // "caption: text" of each message box
};

TEST_F(EngineLoaderTest, CallsTheEngineOnceWithTheUpdaterPathInFront) {
  EXPECT_EQ(engine_host::RunPatchEngineWith(Host(echo), "\"/games/orvan\" -i -l", Recorder, 1), 0);
  EXPECT_EQ(calls, std::vector<std::string>{"11:/z \"" + OwnPath() + "\" \"/games/orvan\" -i -l"});
  EXPECT_TRUE(TempFolderEmpty());
  EXPECT_TRUE(messages.empty());
}

TEST_F(EngineLoaderTest, ReturnsTheEnginesResultUnchanged) {
  EXPECT_EQ(engine_host::RunPatchEngineWith(Host(echo), "-result:7", Recorder, 1), 7);
  EXPECT_EQ(engine_host::RunPatchEngineWith(Host(echo), "-result:32770", Recorder, 1), 32770);
  EXPECT_EQ(engine_host::RunPatchEngineWith(Host(echo), "", Recorder, 3), 2);  // the wait flag is passed on
  EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(EngineLoaderTest, EmptyAndVeryLongArgumentsArePassedWhole) {
  engine_host::RunPatchEngineWith(Host(echo), "", Recorder, 1);
  std::string longArguments = "\"" + std::string(10000, 'x') + "\" -i -u -b:Update_1.1.0_Backup";
  engine_host::RunPatchEngineWith(Host(echo), longArguments, Recorder, 1);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], "11:/z \"" + OwnPath() + "\" ");
  EXPECT_EQ(calls[1], "11:/z \"" + OwnPath() + "\" " + longArguments);
}

TEST_F(EngineLoaderTest, FailuresReturnEngineLoadFailedSayWhyAndLeaveNoTemporaryFile) {
  std::vector<std::byte> lyingLength = echo;
  lyingLength[0] = std::byte{0xFF}, lyingLength[1] = std::byte{0xFF}, lyingLength[2] = std::byte{0xFF};
  std::vector<std::byte> notALibrary(64, std::byte{0x41});
  notALibrary[0] = std::byte{60}, notALibrary[1] = std::byte{0}, notALibrary[2] = std::byte{0}, notALibrary[3] = std::byte{0};
  std::vector<std::byte> exportless = ResourceFrom(EXPORTLESS_ENGINE);
  const std::string start = "Error: The update engine could not be started: ";
  struct Case {
    const char* name;
    std::span<const std::byte> resource;
    std::string message;  // its beginning
  };
  const Case cases[] = {
      {"no resource", {}, start + "the program " + OwnPath() + " does not carry it whole."},
      {"resource shorter than its length field", std::span(echo).first(3), start + "the program " + OwnPath()},
      {"length past the resource", lyingLength, start + "the program " + OwnPath()},
      {"not a library", notALibrary, start + "the library written to the temporary folder " + TempFolder() + " was refused ("},
      {"no PatchApply32 export", exportless, start + "the library written to " + TempFolder() + " has no entry point."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    messages.clear();
    EXPECT_EQ(engine_host::RunPatchEngineWith(Host(c.resource), "\"x\" -i -l", Recorder, 1), engine_host::EngineLoadFailed);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(TempFolderEmpty());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].substr(0, c.message.size()), c.message);
  }
}

TEST_F(EngineLoaderTest, AnUnusableTemporaryFolderFailsWithoutCallingAnythingAndNamesIt) {
  fs::path notAFolder = temp / "file";
  std::ofstream(notAFolder) << "x";
  for (const fs::path& folder : {notAFolder, temp / "missing"}) {
    messages.clear();
    engine_host::EngineHost host{OwnPath(), folder.string(), echo};
    EXPECT_EQ(engine_host::RunPatchEngineWith(host, "\"x\" -i -l", Recorder, 1), engine_host::EngineLoadFailed);
    EXPECT_EQ(messages, std::vector<std::string>{"Error: The update engine could not be started: the temporary folder " +
                                                 folder.string() + " is full or not writable."});
  }
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(fs::exists(temp / "missing"));
  EXPECT_TRUE(TempFolderEmpty());
}

// A file size limit makes the file system refuse the library's bytes as a full disk does.
TEST_F(EngineLoaderTest, ATemporaryFolderThatRefusesTheBytesIsSaidAndLeavesNothing) {
  struct rlimit before {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  struct rlimit small = before;
  small.rlim_cur = 4096;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int32_t result = engine_host::RunPatchEngineWith(Host(echo), "\"x\" -i -l", Recorder, 1);
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, engine_host::EngineLoadFailed);
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(TempFolderEmpty());
  EXPECT_EQ(messages, std::vector<std::string>{"Error: The update engine could not be started: the temporary folder " +
                                               TempFolder() + " is full or not writable."});
}

TEST_F(EngineLoaderTest, AProgramThatCannotReadItsOwnFileSaysSo) {
  fs::remove(OwnPath());
  EXPECT_EQ(engine_host::RunPatchEngineWith(Host(echo), "\"x\" -i -l", Recorder, 1), engine_host::EngineLoadFailed);
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(TempFolderEmpty());
  EXPECT_EQ(messages, std::vector<std::string>{"Error: The update engine could not be started: the program cannot read "
                                               "its own file " + OwnPath() + "."});
}

// Between writing the library and loading it, another program changes the file or puts another
// file under its name: what is loaded is what was written, or nothing.
TEST_F(EngineLoaderTest, OnlyTheLibraryThatWasWrittenIsLoaded) {
  std::vector<std::byte> exportless = ResourceFrom(EXPORTLESS_ENGINE);
  fs::path otherLibrary = temp / "other.so";
  std::ofstream(otherLibrary, std::ios::binary)
      .write(reinterpret_cast<const char*>(exportless.data() + 4), static_cast<std::streamsize>(exportless.size() - 4));

  engine_host::EngineHost changed = Host(echo);
  changed.written = [&](const std::string& path) {
    EXPECT_EQ(fs::status(path).permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(100);
    file.put('\x5A');
  };
  EXPECT_EQ(engine_host::RunPatchEngineWith(changed, "\"x\" -i -l", Recorder, 1), engine_host::EngineLoadFailed);
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(TempFolderEmpty());
  EXPECT_EQ(messages, std::vector<std::string>{"Error: The update engine could not be started: its copy in the "
                                               "temporary folder " + TempFolder() + " was changed before it was loaded."});

  messages.clear();
  engine_host::EngineHost swapped = Host(echo);
  swapped.written = [&](const std::string& path) { fs::rename(otherLibrary, path); };
  EXPECT_EQ(engine_host::RunPatchEngineWith(swapped, "\"x\" -i -l", Recorder, 1), 0);
  EXPECT_EQ(calls.size(), 1u);  // the echo engine answered, not the library put in its place
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(TempFolderEmpty());
}

// A run of several passes writes the engine once: while a KeepEngineLoaded exists the library
// written at the first call answers the later ones, and it is gone when the last keeper goes. A
// call that failed to load keeps nothing, so the next one writes the engine again.
TEST_F(EngineLoaderTest, AKeptEngineIsWrittenOnceForTheRunAndDeletedAfterIt) {
  int writes = 0;
  engine_host::EngineHost counted = Host(echo);
  counted.written = [&](const std::string&) { ++writes; };
  engine_host::EngineHost changed = Host(echo);
  changed.written = [&](const std::string& path) {
    ++writes;
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(100);
    file.put('\x5A');
  };
  {
    engine_host::KeepEngineLoaded run;
    EXPECT_EQ(engine_host::RunPatchEngineWith(changed, "\"x\" -i -l", Recorder, 1), engine_host::EngineLoadFailed);
    EXPECT_TRUE(TempFolderEmpty());
    {
      engine_host::KeepEngineLoaded nested;
      EXPECT_EQ(engine_host::RunPatchEngineWith(counted, "\"x\" -r", Recorder, 1), 0);
    }
    EXPECT_EQ(engine_host::RunPatchEngineWith(counted, "\"x\" -i -j", Recorder, 1), 0);
    EXPECT_EQ(engine_host::RunPatchEngineWith(counted, "-result:7", Recorder, 1), 7);
    EXPECT_EQ(writes, 2);  // the refused copy, then one for the three passes
    EXPECT_EQ(std::distance(fs::directory_iterator(temp / "tmp"), fs::directory_iterator()), 1);
  }
  EXPECT_TRUE(TempFolderEmpty());
  EXPECT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls.back(), "11:/z \"" + OwnPath() + "\" -result:7");
  EXPECT_EQ(engine_host::RunPatchEngineWith(counted, "\"x\" -i -l", Recorder, 1), 0);
  EXPECT_EQ(writes, 3);  // with no keeper, each call writes its own copy and deletes it
  EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(EngineLoaderTest, AProgramWithoutTheEngineResourceFails) {
  // This test program carries no engine.
  EXPECT_EQ(engine_host::RunPatchEngine("\"x\" -i -l", Recorder, 1), engine_host::EngineLoadFailed);
  EXPECT_TRUE(calls.empty());
}

TEST_F(EngineLoaderTest, AScriptedEngineTakesTheRealOnesPlace) {
  engine_host::SetEngineRunnerForTesting([](const std::string& arguments, engine_host::EngineCallback callback, int32_t) {
    return static_cast<int32_t>(arguments.size());
  });
  EXPECT_EQ(engine_host::RunPatchEngine("abc", Recorder, 1), 3);
  engine_host::SetEngineRunnerForTesting(nullptr);
  EXPECT_EQ(engine_host::RunPatchEngine("abc", Recorder, 1), engine_host::EngineLoadFailed);
}

}  // namespace
