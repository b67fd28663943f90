// The three pass handlers, event by event.
#include <gtest/gtest.h>

#include <optional>

#include "platform/desktop.h"
#include "platform/files.h"
#include "src/update/active_run.h"
#include "src/update/recovery_pass_callback.h"
#include "src/update/update_pass_callback.h"
#include "src/update/verify_pass_callback.h"
#include "tests/unit/update/run_fixture.h"

namespace {

using update::RecoveryPassCallback;
using update::UpdatePassCallback;
using update::VerifyPassCallback;

using Lines = std::vector<std::string>;

const char* Send(engine_host::EngineCallback callback, uint32_t id, std::string text = "") {
  return callback(id, text.empty() ? nullptr : text.data());
}
const char* SendNumber(engine_host::EngineCallback callback, uint32_t id, uint32_t number) {
  return callback(id, &number);
}

// The window registered as the driver registers it for a pass.
class PassFixture : public RunFixture {
 protected:
  void SetUp() override {
    RunFixture::SetUp();
    active.emplace(*form);
  }
  void TearDown() override {
    active.reset();
    RunFixture::TearDown();
  }
  std::optional<update::ActiveRun> active;
};

using VerifyPassTest = PassFixture;

TEST_F(VerifyPassTest, AFileOfTheSameNameIsAMismatchAndThePassGoesOn) {
  Send(VerifyPassCallback, 7, "data\\maps.pak");
  EXPECT_STREQ(Send(VerifyPassCallback, 2, "data\\maps.pak is not a file of the same name and version"), "");
  Send(VerifyPassCallback, 2, "some other notice");
  EXPECT_EQ(form->ListBox1, (Lines{"", "data\\maps.pak is unexpectedly not consistent with version 1.1.0."}));
  EXPECT_TRUE(PatchInfo.Mismatch);
}

TEST_F(VerifyPassTest, ErrorsStopThePassExceptAShortageOfStorage) {
  Send(VerifyPassCallback, 7, "orvan.exe");
  EXPECT_EQ(Send(VerifyPassCallback, 4, "A file of the same name... No update done since file contents do not match."), nullptr);
  EXPECT_EQ(form->ListBox1, (Lines{"", "orvan.exe appears to be corrupt or not part of version 1.1.0.", "",
                                   "Update error, terminating with no changes made to your installation."}));
  form->ListBox1.clear();
  EXPECT_STREQ(Send(VerifyPassCallback, 4, "Insufficient Storage on the drive.\n               4096000 bytes free."), "");
  EXPECT_EQ(PatchInfo.RequiredBytes, 4096000);
  EXPECT_EQ(form->ListBox1, Lines{""});
  EXPECT_EQ(Send(VerifyPassCallback, 4, "disk unreadable"), nullptr);
}

TEST_F(VerifyPassTest, FilesGoToTheGameOrTheExpansionList) {
  PatchInfo.ExpansionExtensions = {"xpd"};
  PatchInfo.ExpansionVersions = {"1.0"};
  struct Case {
    const char* name;
    const char* installedExpansion;
    int game, expansion;  // how many times it lands in each list
  };
  const Case cases[] = {
      {"data.xpd", "1.0", 0, 1}, {"data.xpd", "1.1", 0, 0}, {"data.xpd", "", 0, 0},
      {"data.XPD", "1.0", 1, 0}, {"readme", "1.0", 1, 0},   {"dir.xpd\\file", "1.0", 1, 0},
      {"c:xpd", "1.0", 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.installedExpansion);
    PatchInfo.FilesToPatch.clear();
    PatchInfo.ExpansionFilesToPatch.clear();
    ParseVersionStamp(PatchInfo.ExpansionVersion, c.installedExpansion);
    Send(VerifyPassCallback, 7, c.name);
    EXPECT_EQ(PatchInfo.FilesToPatch.size(), static_cast<size_t>(c.game));
    EXPECT_EQ(PatchInfo.ExpansionFilesToPatch.size(), static_cast<size_t>(c.expansion));
    EXPECT_EQ(form->CurrentFile, c.name);
  }
  // One name per matching record.
  PatchInfo.ExpansionExtensions = {"xpd", "xpd"};
  PatchInfo.ExpansionVersions = {"1.0", "1.0"};
  ParseVersionStamp(PatchInfo.ExpansionVersion, "1.0");
  PatchInfo.ExpansionFilesToPatch.clear();
  Send(VerifyPassCallback, 7, "isles.xpd");
  EXPECT_EQ(PatchInfo.ExpansionFilesToPatch, (Lines{"isles.xpd", "isles.xpd"}));
}

TEST_F(VerifyPassTest, BarsFollowProgressAndFinishedFiles) {
  SendNumber(VerifyPassCallback, 6, 10);
  SendNumber(VerifyPassCallback, 5, 16384);
  EXPECT_EQ(form->ProgressBar1.Position(), 50);
  SendNumber(VerifyPassCallback, 5, 0x18000);  // only the low 16 bits count
  EXPECT_EQ(form->ProgressBar1.Position(), 100);
  for (int i = 0; i < 4; ++i) Send(VerifyPassCallback, 8);
  EXPECT_EQ(form->ProgressBar2.Position(), 20);
  EXPECT_EQ(form->VerifyDone, 4);
  Send(VerifyPassCallback, 7, "next");
  EXPECT_EQ(form->ProgressBar1.Position(), 0);
}

TEST_F(VerifyPassTest, RepliesToTheOtherIds) {
  EXPECT_STREQ(Send(VerifyPassCallback, 19), "Y");
  for (uint32_t id : {13u, 14u, 15u, 17u, 18u, 20u}) EXPECT_EQ(Send(VerifyPassCallback, id), nullptr) << id;
  for (uint32_t id : {9u, 11u, 21u}) EXPECT_STREQ(Send(VerifyPassCallback, id, "x"), "") << id;
  // An end of file before any count leaves the overall bar alone.
  EXPECT_STREQ(Send(VerifyPassCallback, 8), "");
  EXPECT_EQ(form->ProgressBar2.Position(), 0);
}

class UpdatePassTest : public PassFixture {
 protected:
  void SetUp() override {
    PassFixture::SetUp();
    form->TotalFiles = 3;
    form->LastFile = "c.dat";
  }
};

TEST_F(UpdatePassTest, EachAppliedFileGetsItsLinesAndMovesTheOverallBar) {
  Send(UpdatePassCallback, 7, "a.dat");
  Send(UpdatePassCallback, 9, "Applying patch");
  SendNumber(UpdatePassCallback, 5, 32768);
  Send(UpdatePassCallback, 8);
  EXPECT_EQ(form->ListBox1, (Lines{"", "Patching a.dat from 1.1.0 to 1.2.0, file #1 of 3.", "a.dat patched successfully."}));
  EXPECT_EQ(form->ProgressBar2.Position(), 66);

  // Already current: its line, the bar at 100, not counted, no "patched successfully".
  form->ListBox1.clear();
  Send(UpdatePassCallback, 7, "b.dat");
  Send(UpdatePassCallback, 9, "New Version already in place");
  EXPECT_EQ(form->ProgressBar1.Position(), 100);
  Send(UpdatePassCallback, 8);
  EXPECT_EQ(form->ListBox1, Lines{"b.dat is already current or more recent than version 1.2.0."});
  EXPECT_EQ(form->FilesDone, 1);

  form->ListBox1.clear();
  Send(UpdatePassCallback, 7, "c.dat");
  Send(UpdatePassCallback, 9, "Applying patch");
  Send(UpdatePassCallback, 8);
  EXPECT_EQ(form->ListBox1, (Lines{"", "Patching c.dat from 1.1.0 to 1.2.0, file #2 of 3.", "c.dat patched successfully.",
                                   "", "Finishing update..."}));
}

TEST_F(UpdatePassTest, ExpansionFilesLoseTheirExtensionOnce) {
  PatchInfo.ExpansionExtensions = {"xpd", "xpd"};
  PatchInfo.ExpansionFilesToPatch = {"isles.xpd"};
  form->LastFile = "isles.xpd";
  Send(UpdatePassCallback, 7, "isles.xpd");
  EXPECT_EQ(form->CurrentFile, "isles");
  EXPECT_TRUE(form->ExtensionStripped);
  Send(UpdatePassCallback, 9, "Applying patch");
  Send(UpdatePassCallback, 8);
  // It no longer equals LastFile, so no "Finishing update..." follows.
  EXPECT_EQ(form->ListBox1, (Lines{"", "Patching isles from 1.1.0 to 1.2.0, file #1 of 3.", "isles patched successfully."}));

  Send(UpdatePassCallback, 7, "ISLES.XPD");
  EXPECT_EQ(form->CurrentFile, "ISLES.XPD");
  EXPECT_FALSE(form->ExtensionStripped);
}

TEST_F(UpdatePassTest, AStrippedFileIsNotAnnouncedWhenNoExpansionFileIsToBePatched) {
  PatchInfo.ExpansionExtensions = {"xpd"};
  Send(UpdatePassCallback, 7, "isles.xpd");
  Send(UpdatePassCallback, 9, "Applying patch");
  EXPECT_TRUE(form->ListBox1.empty());
  EXPECT_EQ(form->FilesDone, 0);
  EXPECT_FALSE(form->PatchingFile);
}

TEST_F(UpdatePassTest, AMismatchedFileIsReportedAndNotCountedAsPatched) {
  Send(UpdatePassCallback, 7, "a.dat");
  Send(UpdatePassCallback, 9, "Applying patch");
  EXPECT_STREQ(Send(UpdatePassCallback, 2, "a.dat: not a file of the same name"), "");
  Send(UpdatePassCallback, 8);
  EXPECT_EQ(form->ListBox1.back(), "a.dat is unexpectedly not consistent with version 1.1.0.");
  EXPECT_FALSE(form->PatchingFile);
}

TEST_F(UpdatePassTest, ErrorsAndInvalidPatchDataAreShownAndStopThePass) {
  EXPECT_EQ(Send(UpdatePassCallback, 4, "The disk is full."), nullptr);
  EXPECT_EQ(Send(UpdatePassCallback, 13), nullptr);
  EXPECT_EQ(Send(UpdatePassCallback, 14), nullptr);
  EXPECT_EQ(view.dialogs, (Lines{"warning: The disk is full.",
                                 "warning: Patch information invalid, this patcher may have been corrupted.",
                                 "warning: Patch information invalid, this patcher may have been corrupted."}));
  for (uint32_t id : {15u, 17u, 18u, 20u}) EXPECT_EQ(Send(UpdatePassCallback, id), nullptr);
  EXPECT_STREQ(Send(UpdatePassCallback, 19), "Y");
  EXPECT_STREQ(SendNumber(UpdatePassCallback, 6, 99), "");
  EXPECT_TRUE(form->ListBox1.empty());
}

TEST_F(UpdatePassTest, CancelIsActedOnAtTheEndOfTheFile) {
  Send(UpdatePassCallback, 7, "a.dat");
  Send(UpdatePassCallback, 9, "Applying patch");
  form->Button1Click();
  EXPECT_TRUE(form->CancelRequested);
  EXPECT_STREQ(SendNumber(UpdatePassCallback, 5, 100), "");  // not before the file's end
  EXPECT_EQ(Send(UpdatePassCallback, 8), nullptr);
  EXPECT_EQ(view.dialogs, Lines{"warning: Update process did not complete. No changes were made to your Orvan installation."});
  EXPECT_EQ(form->ProgressBar2.Position(), 66);
}

using RecoveryPassTest = PassFixture;

TEST_F(RecoveryPassTest, LogsWhatTheEngineDidAndNothingElse) {
  int pumped = 0;
  platform::SetMessagePump([&] { ++pumped; });
  struct Case {
    uint32_t id;
    std::string text;
    const char* reply;  // null: stop
    Lines log;
  };
  const Case cases[] = {
      {9, "An interrupted update of /games/orvan was finished.", "", {"An interrupted update of /games/orvan was finished."}},
      {4, "A journal not written for /games/orvan was left alone.", "", {"A journal not written for /games/orvan was left alone."}},
      {7, "orvan.exe", "", {}},
      {2, "a notice", "", {}},
      {8, "", "", {}},
      {19, "", "Y", {}},
      {13, "", nullptr, {}}, {14, "", nullptr, {}}, {15, "", nullptr, {}},
      {17, "", nullptr, {}}, {18, "", nullptr, {}}, {20, "", nullptr, {}},
      {0x109, "low byte 9", "", {"low byte 9"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    form->ListBox1.clear();
    int pumpedBefore = pumped;
    const char* reply = Send(RecoveryPassCallback, c.id, c.text);
    if (c.reply) EXPECT_STREQ(reply, c.reply);
    else EXPECT_EQ(reply, nullptr);
    EXPECT_EQ(form->ListBox1, c.log);
    EXPECT_EQ(pumped, pumpedBefore + 1);  // pending messages first, for every id
  }
  platform::SetMessagePump(nullptr);
  EXPECT_TRUE(view.dialogs.empty());
}

}  // namespace
