// The engine takes exactly the four command lines the updater sends.
#include <gtest/gtest.h>

#include "patchw32/engine/command_line.h"

namespace {

using engine::Pass;

TEST(EngineCommandLine, ParsesTheFourPasses) {
  struct Case {
    const char* line;
    Pass pass;
    const char* folder;
    const char* backup;
  };
  const Case cases[] = {
      {R"(/z "C:\Games\Orvan Update.exe" "C:\Games\Orvan" -i -l)", Pass::List, R"(C:\Games\Orvan)", ""},
      {R"(/z "/u" "/games/orvan" -i -j)", Pass::Verify, "/games/orvan", ""},
      {R"(/z "/u" "/games/orvan" -i -u )", Pass::Update, "/games/orvan", ""},
      {R"(/z "/u" "/games/orvan" -i -u -b:Update_1.1.0_Backup)", Pass::Update, "/games/orvan", "Update_1.1.0_Backup"},
      {R"(/z "/u" "/g" -i -u -b:Update_1.1 beta_Backup  )", Pass::Update, "/g", "Update_1.1 beta_Backup"},
      {R"(/z "/u" "/games/orvan" -i -r)", Pass::Recover, "/games/orvan", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string error;
    auto command = engine::ParseCommandLine(c.line, error);
    ASSERT_TRUE(command) << error;
    EXPECT_EQ(command->pass, c.pass);
    EXPECT_EQ(command->folder, c.folder);
    EXPECT_EQ(command->backupFolder, c.backup);
  }
}

TEST(EngineCommandLine, RefusesAnythingElse) {
  for (const char* line : {"", "/z", R"(/z "/u")", R"(/z "/u" "/g")", R"(/z "/u" "/g" -l)",
                           R"(/z "/u" "/g" -i)", R"(/z "/u" "/g" -i -x)", R"(/z "/u" "/g" -i -l -j)",
                           R"(/z "/u" "/g" -i -l -b:x)", R"(/z "/u" "/g" -i -r -b:x)", R"(/z "/u" "/g" -i -r -u)", R"(/z "/u" "/g" -i -u -b:)", R"(/z "/u" "" -i -l)",
                           R"(/z "/u" "/g -i -l)", R"(/z "/u""/g" -i -l)", R"(z "/u" "/g" -i -l)",
                           R"(/z "/u" "/g"-i -l)", R"(/z "/u" "/g" -i -l extra)"}) {
    std::string error;
    EXPECT_FALSE(engine::ParseCommandLine(line, error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
}

}  // namespace
