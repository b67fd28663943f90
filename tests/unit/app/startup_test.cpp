// Start-up: the listing pass decides the exit code; the switches are found anywhere.
#include <gtest/gtest.h>

#include "src/app/startup.h"
#include "src/engine_host/engine_loader.h"
#include "src/patchinfo/patch_info.h"

namespace {

TEST(ContainsNoCase, FindsThePatternAnywhereWithoutRegardToCase) {
  struct Case {
    const char* text;
    const char* pattern;
    std::optional<size_t> at;
  };
  const Case cases[] = {
      {"/skipversioncheck", "SkipVersionCheck", 1}, {"-SKIPVERSIONCHECK", "SkipVersionCheck", 1},
      {"C:\\OldBackups\\x", "Backup", 6},          {"", "", 0},
      {"abc", "", 0},                               {"", "Backup", std::nullopt},
      {"Backu", "Backup", std::nullopt},            {"\xe9", "\xc9", std::nullopt},  // only a to z fold
  };
  for (const auto& c : cases) EXPECT_EQ(ContainsNoCase(c.text, c.pattern), c.at) << c.text << " / " << c.pattern;
}

class RecordingFrontEnd : public FrontEnd {
 public:
  std::string title = "(none)";
  int runs = 0;
  std::vector<std::string> boxes;
  void SetApplicationTitle(const std::string& t) override { title = t; }
  int Run(TForm2& welcome, TForm1& progress) override {
    ++runs;
    EXPECT_EQ(Form1, &progress);
    EXPECT_EQ(Form2, &welcome);
    return 0;
  }
  void ExceptionBox(const std::string& message) override { boxes.push_back(message); }
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override { PatchInfo = Update(); }
  void TearDown() override {
    engine_host::SetEngineRunnerForTesting(nullptr);
    PatchInfo = Update();
  }
  void ListingReturns(int32_t result, std::vector<std::string> records) {
    engine_host::SetEngineRunnerForTesting([=](const std::string&, engine_host::EngineCallback callback, int32_t) mutable {
      for (auto& record : records) {
        record += "\n";
        callback(11, record.data());
      }
      return result;
    });
  }
  RecordingFrontEnd frontEnd;
};

TEST_F(StartupTest, AFailedListingPassEndsWithExitCodeOneAndNoWindow) {
  ListingReturns(32770, {});
  EXPECT_EQ(RunProgram("Backup", frontEnd), 1);
  EXPECT_EQ(frontEnd.runs, 0);
  EXPECT_EQ(frontEnd.title, "(none)");
  EXPECT_FALSE(PatchInfo.Backup);
}

TEST_F(StartupTest, SetsSwitchesAndTitleThenRunsTheWindows) {
  ListingReturns(0, {"versions,orvan: silent thrones,orvan.exe,1.1.0,1.2.0"});
  EXPECT_EQ(RunProgram("-skipversioncheck C:\\OldBackups", frontEnd), 0);
  EXPECT_TRUE(PatchInfo.SkipVersionCheck);
  EXPECT_TRUE(PatchInfo.Backup);
  EXPECT_EQ(frontEnd.title, "Orvan Update: version 1.1.0 to 1.2.0");
  EXPECT_EQ(frontEnd.runs, 1);
  EXPECT_EQ(Form1, nullptr);
}

TEST_F(StartupTest, APayloadWithoutVersionsGetsATitleOfEmptyTexts) {
  ListingReturns(0, {"registry,software\\x"});
  EXPECT_EQ(RunProgram("", frontEnd), 0);
  EXPECT_EQ(frontEnd.title, " Update: version  to ");
  EXPECT_FALSE(PatchInfo.SkipVersionCheck || PatchInfo.Backup);
}

TEST_F(StartupTest, AnExceptionIsShownAndTheExitCodeIsZero) {
  class Throwing : public RecordingFrontEnd {
    int Run(TForm2&, TForm1&) override { throw std::runtime_error("Out of memory"); }
  } throwing;
  ListingReturns(0, {"versions,a,a.exe,1,2"});
  EXPECT_EQ(RunProgram("", throwing), 0);
  EXPECT_EQ(throwing.boxes, std::vector<std::string>{"Out of memory"});
}

}  // namespace
