// The listing pass: the callback's replies, its error box, and how the pass is started.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/files.h"
#include "src/engine_host/engine_loader.h"
#include "src/patchinfo/listing_pass.h"
#include "src/patchinfo/patch_info.h"

namespace {

class ListPassCallbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PatchInfo = Update();
    platform::SetMessageBoxHandler([this](const std::string& text, const std::string& caption) {
      boxes.push_back(caption + "|" + text);
    });
    platform::SetMessagePump([this] { ++pumped; });
  }
  void TearDown() override {
    platform::SetMessageBoxHandler(nullptr);
    platform::SetMessagePump(nullptr);
    engine_host::SetEngineRunnerForTesting(nullptr);
    PatchInfo = Update();
  }
  std::vector<std::string> boxes;
  int pumped = 0;
};

TEST_F(ListPassCallbackTest, RepliesByMessageId) {
  char text[] = "message";
  for (uint32_t id : {2u, 13u, 14u, 15u, 17u, 18u, 20u}) EXPECT_EQ(ListPassCallback(id, text), nullptr) << id;
  EXPECT_STREQ(ListPassCallback(19, nullptr), "Y");
  for (uint32_t id : {5u, 6u, 7u, 8u, 9u, 21u, 22u, 0u, 99u}) EXPECT_STREQ(ListPassCallback(id, text), "") << id;
  // Only the low byte counts, as a signed number: 0x10B is 11, 0x102 is 2.
  EXPECT_EQ(ListPassCallback(0x102, text), nullptr);
  char record[] = "registry,k\n";
  EXPECT_STREQ(ListPassCallback(0x10B, record), "");
  EXPECT_EQ(PatchInfo.RegistryKeys, TextList{"k"});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(pumped, 19);  // every call lets the window system run first
}

TEST_F(ListPassCallbackTest, AnErrorShowsOneBoxAndAbortsThePass) {
  engine_host::SetEngineRunnerForTesting([](const std::string& arguments, engine_host::EngineCallback callback, int32_t) {
    char record[] = "versions,orvan gold,orvan.exe,1.1.0,1.2.0\n";
    char error[] = "the index fails its checksum";
    if (!callback(11, record)) return 5;
    if (!callback(4, error)) return 3;  // the engine stops when told to
    return 0;
  });
  EXPECT_EQ(ReadPatchInfo(), 3);
  EXPECT_EQ(boxes, std::vector<std::string>{"Update Error|Internal Update error, patch is possibly corrupt."});
  // What was read before the error stays, and the name is still derived.
  EXPECT_EQ(PatchInfo.ProductName, "Orvan Gold");
  EXPECT_EQ(PatchInfo.ShortName, "Orvan");
}

TEST_F(ListPassCallbackTest, ReadPatchInfoListsTheCurrentFolder) {
  std::string seen;
  engine_host::SetEngineRunnerForTesting([&seen](const std::string& arguments, engine_host::EngineCallback, int32_t wait) {
    seen = arguments + "|" + std::to_string(wait);
    return 0;
  });
  EXPECT_EQ(ReadPatchInfo(), 0);
  EXPECT_EQ(seen, "\"" + platform::CurrentFolder() + "\" -i -l|1");
  EXPECT_EQ(PatchInfo.ShortName, "");
}

}  // namespace
