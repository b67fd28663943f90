// The update driver, run against a scripted engine: whole logs, line by line.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/desktop.h"
#include "platform/files.h"
#include "src/update/update_driver.h"
#include "tests/unit/update/run_fixture.h"
#include "tests/unit/update/scripted_engine.h"

namespace {

using Lines = std::vector<std::string>;

const Lines kBeginning = {"Beginning patch process. This may take several minutes..."};
const Lines kFailed = {"", "Update did not complete successfully."};
const Lines kSucceeded = {"",
                          "Update completed successfully!",
                          "",
                          "\"Orvan: Silent Thrones\" version 1.2.0 is ready to run on your system."};

class UpdateDriverTest : public RunFixture {
 protected:
  // The verification and update passes of a two-file patch.
  void TwoFilePatch() {
    engine.verify = std::vector<EngineEvent>{Number(6, 2)} + VerifiedFile("orvan.exe") + VerifiedFile("data.pak");
    engine.update = PatchedFile("orvan.exe") + PatchedFile("data.pak");
  }
  // A fresh installation, window and engine, for one row of a table.
  void Restart() {
    TearDown();
    SetUp();
    view = RecordingView();
    engine.Reset();
  }
  Lines Run() {
    form->FormActivate();
    return form->ListBox1;
  }
  // The arguments of a pass over the installation.
  std::string Pass(const std::string& switches) const { return "\"" + PatchInfo.InstallPath + "\" " + switches; }
  void ExpectFinished() {
    EXPECT_TRUE(form->Finished);
    EXPECT_EQ(form->Button1Caption, "OK");
    EXPECT_TRUE(form->Button2Visible);
  }
  ScriptedEngine engine;
};

const Lines kTwoFiles = {"",
                         "There are 2 files to be patched in this update.",
                         "",
                         "Patching orvan.exe from 1.1.0 to 1.2.0, file #1 of 2.",
                         "orvan.exe patched successfully.",
                         "",
                         "Patching data.pak from 1.1.0 to 1.2.0, file #2 of 2.",
                         "data.pak patched successfully.",
                         "",
                         "Finishing update..."};

TEST_F(UpdateDriverTest, ASuccessfulRunLogsEveryStep) {
  TwoFilePatch();
  EXPECT_EQ(Run(), Opening() + Detected("1.1.0") + kBeginning + kTwoFiles + kSucceeded);
  EXPECT_EQ(engine.arguments, (Lines{Pass("-i -r"), Pass("-i -j"), Pass("-i -u ")}));
  EXPECT_EQ(form->ProgressBar1.Position(), 100);
  EXPECT_EQ(form->ProgressBar2.Position(), 100);
  EXPECT_EQ(form->LastFile, "data.pak");
  EXPECT_TRUE(form->AtTargetVersion);
  EXPECT_TRUE(view.dialogs.empty());
  ExpectFinished();
  // Only one run per program run.
  form->FormActivate();
  EXPECT_EQ(engine.arguments.size(), 3u);
}

TEST_F(UpdateDriverTest, OneFileAndTheBackupArgument) {
  PatchInfo.Backup = true;
  engine.verify = std::vector<EngineEvent>{Number(6, 1)} + VerifiedFile("orvan.exe");
  engine.update = PatchedFile("orvan.exe");
  Lines log = Run();
  EXPECT_EQ(log[Opening().size() + 3 + 2], "There is one file to be patched in this update.");
  EXPECT_EQ(engine.arguments.back(), "\"" + PatchInfo.InstallPath + "\" -i -u -b:Update_1.1.0_Backup");
}

TEST_F(UpdateDriverTest, AnUndeterminedVersionWarnsAndRunsNoPass) {
  for (bool skip : {false, true}) {
    SCOPED_TRACE(skip);
    Restart();
    std::filesystem::remove(folder / "orvan.exe");
    PatchInfo.SkipVersionCheck = skip;
    Lines explanation = {"",
                         "Unable to determine installed version. ",
                         "The version you have installed may be newer than the version this patch ",
                         "was designed to upgrade (1.1.0), or it may be modified or corrupt. ",
                         "Please look on the Orvan web site for an update that matches your installed version, ",
                         "which is identified on the initial Orvan logo screen, ",
                         "or re-install from your Orvan CD and patch from there.",
                         "",
                         "Update did not complete successfully."};
    EXPECT_EQ(Run(), Opening() + explanation);
    ASSERT_EQ(view.dialogs.size(), 1u);
    EXPECT_EQ(view.dialogs[0],
              "warning: Unable to determine installed version. The version you have installed may be newer than the "
              "version this patch was designed to upgrade (1.1.0), or it may be modified or corrupt. Please look on "
              "the Orvan web site for an update that matches your installed version, which is identified on the "
              "initial Orvan logo screen, or re-install from your Orvan CD and patch from there.");
    EXPECT_EQ(engine.arguments, Lines{Pass("-i -r")});  // the recovery pass only
    EXPECT_EQ(form->ProgressBar2.Position(), 0);
    EXPECT_FALSE(form->AtTargetVersion);
    ExpectFinished();
  }
}

TEST_F(UpdateDriverTest, AnInstalledVersionOtherThanTheStartGetsOneOfThreeVerdicts) {
  struct Case {
    const char* installed;
    Lines verdict;
    bool atTarget;
  };
  const Case cases[] = {
      {"1.2.0", {"\"Orvan: Silent Thrones\" is already up to date with version 1.2.0.", "", "No update will be performed.", ""}, true},
      {"1.3", {"\"Orvan: Silent Thrones\" is already more recent than version 1.2.0.", "", "No update will be performed."}, false},
      {"1.0.9", {"Your installed version of Orvan: Silent Thrones does not match the version this update is designed to patch from.", "", "No update will be performed."}, false},
      // Texts compare byte by byte: 1.10.0 is not more recent than 1.2.0.
      {"1.10.0", {"Your installed version of Orvan: Silent Thrones does not match the version this update is designed to patch from.", "", "No update will be performed."}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.installed);
    Restart();
    WriteExecutable(c.installed);
    EXPECT_EQ(Run(), Opening() + Detected(c.installed) + c.verdict);
    EXPECT_EQ(engine.arguments, Lines{Pass("-i -r")});
    EXPECT_EQ(form->AtTargetVersion, c.atTarget);
    EXPECT_EQ(form->ProgressBar1.Position(), 0);
    ExpectFinished();
  }
}

TEST_F(UpdateDriverTest, SkipVersionCheckPatchesAnyDetectedVersion) {
  PatchInfo.SkipVersionCheck = true;
  WriteExecutable("1.2.0");
  TwoFilePatch();
  EXPECT_EQ(Run(), Opening() + Detected("1.2.0") + kBeginning + kTwoFiles + kSucceeded);
}

TEST_F(UpdateDriverTest, MismatchAndShortageAreBothReported) {
  // An installation path that names drive d (a relative folder "d:game" here, whose drive's
  // space can't be read).
  auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  std::filesystem::create_directories(folder / "d:game");
  std::filesystem::rename(folder / "orvan.exe", folder / "d:game" / "orvan.exe");
  PatchInfo.InstallPath = "d:game";
  engine.verify = std::vector<EngineEvent>{Number(6, 1)} +
                  VerifiedFile("orvan.exe", {Text(2, "orvan.exe: not a file of the same name and version")}) +
                  std::vector<EngineEvent>{Text(4, "Insufficient Storage: 5368709120 bytes required, 10 bytes free.")};
  Lines log = Run();
  std::filesystem::current_path(cwd);
  Lines expected = Opening() + Detected("1.1.0") + kBeginning +
                   Lines{"",
                         "orvan.exe is unexpectedly not consistent with version 1.1.0.",
                         "",
                         "",
                         "Installation does not match expected contents, terminating update with no changes applied.",
                         "",
                         "-1 bytes available on drive d:, 5,368,709,120 bytes required for patch.",
                         "",
                         "No files in your Orvan: Silent Thrones version 1.1.0 installation were modified."} +
                   kFailed;
  EXPECT_EQ(log, expected);
  EXPECT_EQ(engine.arguments.size(), 2u);
  EXPECT_EQ(PatchInfo.RequiredBytes, 5368709120);
}

TEST_F(UpdateDriverTest, AShortageOnAPosixPathNamesItsFileSystem) {
  engine.verify = {Text(4, "Insufficient Storage: 4096000 bytes required, 10 bytes free.")};
  Lines log = Run();
  ASSERT_GE(log.size(), 6u);
  std::string line = log[log.size() - 5];
  EXPECT_TRUE(line.find(" bytes available on the file system holding " + PatchInfo.InstallPath +
                        ", 4,096,000 bytes required for patch.") != std::string::npos)
      << line;
  EXPECT_NE(line.substr(0, 2), "-1");
}

TEST_F(UpdateDriverTest, NothingToPatchEndsSuccessfullyWithoutAnUpdatePass) {
  engine.verify = {Number(6, 0)};
  Lines expected = Opening() + Detected("1.1.0") + kBeginning +
                   Lines{"", "Update completed successfully, no files needed to be patched."};
  EXPECT_EQ(Run(), expected);
  EXPECT_EQ(engine.arguments.size(), 2u);
  EXPECT_EQ(form->ProgressBar2.Position(), 100);
  EXPECT_TRUE(form->AtTargetVersion);
}

TEST_F(UpdateDriverTest, AFailedPassEndsWithTheFailureLine) {
  for (bool failVerify : {true, false}) {
    SCOPED_TRACE(failVerify);
    Restart();
    TwoFilePatch();
    (failVerify ? engine.verifyResult : engine.updateResult) = 32770;
    Lines log = Run();
    EXPECT_EQ(Lines(log.end() - 2, log.end()), kFailed);
    EXPECT_EQ(engine.arguments.size(), failVerify ? 2u : 3u);
    EXPECT_FALSE(form->AtTargetVersion);
  }
}

TEST_F(UpdateDriverTest, CancelDuringTheSecondOfFiveFilesStopsAtItsEnd) {
  engine.verify = std::vector<EngineEvent>{Number(6, 5)};
  for (int i = 1; i <= 5; ++i) engine.verify = engine.verify + VerifiedFile("f" + std::to_string(i));
  for (int i = 1; i <= 5; ++i) engine.update = engine.update + PatchedFile("f" + std::to_string(i));
  engine.update[5].before = [this] { form->Button1Click(); };  // during file 2's progress
  Lines log = Run();
  EXPECT_EQ(view.dialogs, Lines{"warning: Update process did not complete. No changes were made to your Orvan installation."});
  EXPECT_EQ(form->ProgressBar2.Position(), 70);
  EXPECT_EQ(engine.replies.back(), "stop");
  Lines tail = {"", "Patching f2 from 1.1.0 to 1.2.0, file #2 of 5."};
  tail = tail + kFailed;
  EXPECT_EQ(Lines(log.end() - 4, log.end()), tail);
  ExpectFinished();
  EXPECT_EQ(view.mainFormClosed, 0);  // Cancel during the run never closed anything
}

TEST_F(UpdateDriverTest, AnExpansionAtTheTargetVersionIsReportedAndNotCounted) {
  PatchInfo.ExpansionNames = {"Orvan Isles"};
  PatchInfo.ExpansionIds = {"305419896"};
  PatchInfo.ExpansionVersions = {"1.1.0"};
  PatchInfo.ExpansionExtensions = {"xpd"};
  // As detection leaves it for an expansion whose data files are at 1.2.0 already.
  ParseVersionStamp(PatchInfo.ExpansionVersion, "1.2.0");
  engine.verify = std::vector<EngineEvent>{Number(6, 2)} + VerifiedFile("orvan.exe") + VerifiedFile("isles.xpd");
  engine.update = PatchedFile("orvan.exe");
  Lines expected = Opening() + Lines{"", "\"Orvan: Silent Thrones\" version 1.1.0 detected.", "",
                                     "\"Orvan Isles\" version 1.2.0 detected.", ""} +
                   kBeginning + Lines{"\"Orvan Isles\" is already up to date with version 1.2.0.", "", "",
                                      "There is one file to be patched in this update.", "",
                                      "Patching orvan.exe from 1.1.0 to 1.2.0, file #1 of 1.",
                                      "orvan.exe patched successfully.", "", "Finishing update..."} +
                   kSucceeded;
  EXPECT_EQ(Run(), expected);
  EXPECT_EQ(form->TotalFiles, 1);
}

// Another updater, in a process of its own, holding the installation until destroyed.
class OtherUpdater {
 public:
  explicit OtherUpdater(const std::string& folder) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      close(ready[0]), close(release[1]);
      alarm(60);  // never outlives a test that lost track of it
      platform::LockOutcome outcome;
      auto lock = platform::InstallationLock::Acquire(folder, outcome);
      char held = lock ? 'y' : 'n', ignored;
      if (write(ready[1], &held, 1) != 1) _exit(1);
      if (read(release[0], &ignored, 1) < 0) _exit(1);  // until the parent closes its end
      _exit(0);
    }
    close(ready[1]), close(release[0]);
    release_ = release[1];
    char held = 'n';
    holds_ = read(ready[0], &held, 1) == 1 && held == 'y';
    close(ready[0]);
  }
  ~OtherUpdater() {
    close(release_);
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }
  bool Holds() const { return holds_; }

 private:
  pid_t child_ = -1;
  int release_ = -1;
  bool holds_ = false;
};

TEST_F(UpdateDriverTest, AnInstallationBeingUpdatedByAnotherProgramIsLeftAlone) {
  TwoFilePatch();
  const std::string busy = "Orvan is being updated by another program in " + PatchInfo.InstallPath +
                           ". Try again when it has finished.";
  {
    OtherUpdater other(PatchInfo.InstallPath);
    ASSERT_TRUE(other.Holds());
    EXPECT_EQ(Run(), Opening() + (Lines{"", busy, "", "No update will be performed."}));
    EXPECT_EQ(view.dialogs, Lines{"warning: " + busy});
    EXPECT_TRUE(engine.arguments.empty());  // not even the recovery pass
    EXPECT_FALSE(form->AtTargetVersion);
    ExpectFinished();
  }
  // Once the other has ended, a run holds the installation from the recovery pass to the end of
  // the update pass, and then lets it go.
  Restart();
  TwoFilePatch();
  auto heldByThisRun = [&] {
    platform::LockOutcome outcome;
    auto lock = platform::InstallationLock::Acquire(PatchInfo.InstallPath, outcome);
    return outcome == platform::LockOutcome::HeldByThisProcess;
  };
  engine.recovery = {Bare(21)};
  engine.recovery[0].before = [&] { EXPECT_TRUE(heldByThisRun()); };
  engine.update.back().before = [&] { EXPECT_TRUE(heldByThisRun()); };
  EXPECT_EQ(Run(), Opening() + Detected("1.1.0") + kBeginning + kTwoFiles + kSucceeded);
  EXPECT_FALSE(heldByThisRun());
  EXPECT_FALSE(std::filesystem::exists(folder / platform::kInstallationLockName));
}

// Killed mid-swap, the last run left the executable set aside; this run was started from
// elsewhere and asked for the folder. The recovery pass puts the executable back before detection.
TEST_F(UpdateDriverTest, TheRecoveryPassRunsInTheChosenFolderBeforeDetection) {
  std::filesystem::rename(folder / "orvan.exe", folder / "orvan.exe.old.orvan~");
  const std::string installation = PatchInfo.InstallPath;
  PatchInfo.InstallPath.clear();
  platform::SetOpenDialogRunner([&](platform::OpenDialog& dialog) {
    dialog.FileName = installation + "/orvan.exe";
    return true;
  });
  const std::string undone = "An interrupted update of " + installation + " was undone.";
  engine.recovery = {Text(9, undone)};
  engine.recovery[0].before = [&] {
    EXPECT_TRUE(view.Changing());
    std::filesystem::rename(folder / "orvan.exe.old.orvan~", folder / "orvan.exe");
  };
  TwoFilePatch();
  engine.update[0].before = [&] { EXPECT_TRUE(view.Changing()); };
  engine.verify[0].before = [&] { EXPECT_FALSE(view.Changing()); };
  Lines log = Run();
  platform::SetOpenDialogRunner(nullptr);
  EXPECT_EQ(log, Opening() + Lines{undone} + Detected("1.1.0") + kBeginning + kTwoFiles + kSucceeded);
  EXPECT_EQ(engine.arguments, (Lines{Pass("-i -r"), Pass("-i -j"), Pass("-i -u ")}));
  EXPECT_EQ(PatchInfo.InstallPath, installation);
  // A shutdown waits during the recovery pass and the update pass, and only then.
  EXPECT_EQ(view.changing, (std::vector<bool>{true, false, true, false}));
}

TEST_F(UpdateDriverTest, ARecoveryThatFailsEndsTheRunBeforeAnythingIsRead) {
  struct Case {
    const char* name;
    std::vector<EngineEvent> events;
    int32_t result;
    Lines logged;  // between the opening lines and the failure line
  };
  const std::string stuck = "An interrupted update of " + PatchInfo.InstallPath +
                            " could not be finished or undone: Orvan.exe is in use.";
  const Case cases[] = {
      {"the engine could not complete it", {Text(4, stuck)}, 5, {stuck}},
      {"the engine could not be started", {}, 32770, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    TwoFilePatch();
    engine.recovery = c.events;
    engine.recoveryResult = c.result;
    // Half swapped: whatever detection would read, it must not be read.
    WriteExecutable("1.2.0");
    EXPECT_EQ(Run(), Opening() + c.logged + kFailed);
    EXPECT_EQ(engine.arguments, Lines{Pass("-i -r")});
    EXPECT_FALSE(PatchInfo.InstalledVersion.Valid);
    EXPECT_FALSE(form->AtTargetVersion);
    EXPECT_TRUE(view.dialogs.empty());
    ExpectFinished();
  }
}

TEST_F(UpdateDriverTest, AJournalLeftAloneIsLoggedAndTheRunGoesOn) {
  const std::string leftAlone = "A journal in " + PatchInfo.InstallPath + " that this engine did not write was left alone.";
  engine.recovery = {Text(4, leftAlone)};
  TwoFilePatch();
  EXPECT_EQ(Run(), Opening() + Lines{leftAlone} + Detected("1.1.0") + kBeginning + kTwoFiles + kSucceeded);
}

TEST_F(UpdateDriverTest, NoFolderMeansNoRecoveryPass) {
  for (const char* chosen : {"", "/no/such/folder/orvan.exe"}) {
    SCOPED_TRACE(chosen);
    Restart();
    PatchInfo.InstallPath.clear();
    platform::SetOpenDialogRunner([&](platform::OpenDialog& dialog) {
      if (!*chosen) return false;  // cancelled
      dialog.FileName = chosen;
      return true;
    });
    Lines log = Run();
    platform::SetOpenDialogRunner(nullptr);
    EXPECT_TRUE(engine.arguments.empty());
    EXPECT_EQ(view.dialogs.size(), 1u);  // the undetermined version's warning
    EXPECT_EQ(log.back(), "Update did not complete successfully.");
  }
}

TEST(FormatThousands, GroupsDigitsByThree) {
  struct Case {
    int64_t value;
    const char* text;
  };
  const Case cases[] = {{0, "0"}, {999, "999"}, {1000, "1,000"}, {1234567, "1,234,567"}, {-1, "-1"},
                        {5368709120, "5,368,709,120"}, {100000, "100,000"}};
  for (const auto& c : cases) EXPECT_EQ(update::FormatThousands(c.value), c.text) << c.value;
}

}  // namespace
