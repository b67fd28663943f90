// The update run against a window of the test's own, with no progress window model at all: what
// the driver and the pass handlers ask of update::RunWindow, and when.
#include <gtest/gtest.h>

#include "src/update/active_run.h"
#include "src/update/update_driver.h"
#include "src/update/update_pass_callback.h"
#include "src/update/verify_pass_callback.h"
#include "tests/unit/update/installation_fixture.h"
#include "tests/unit/update/scripted_engine.h"

namespace {

using Lines = std::vector<std::string>;

// Records every request of the run, in order, as one line each (log lines as they are).
class RecordingWindow : public update::RunWindow {
 public:
  Lines calls;
  update::RunState state;
  platform::OpenDialog dialog{"Orvan.exe", "Orvan Executable|Orvan.exe", "Where is Orvan installed?", "exe"};

  update::RunState& State() override { return state; }
  void AddLogLine(const std::string& line) override { calls.push_back(line); }
  void SetFileProgress(int percent) override { calls.push_back("[file bar " + std::to_string(percent) + "]"); }
  void SetOverallProgress(int percent) override { calls.push_back("[overall bar " + std::to_string(percent) + "]"); }
  void WarningDialog(const std::string& text) override { calls.push_back("[warning: " + text + "]"); }
  void ErrorBox(const std::string& text) override { calls.push_back("[error: " + text + "]"); }
  void SetCancelButtonCaption(const std::string& caption) override { calls.push_back("[button: " + caption + "]"); }
  void ShowSaveLogButton() override { calls.push_back("[save log shown]"); }
  void SetInstallationChanging(bool changing) override {
    calls.push_back(changing ? "[changing]" : "[not changing]");
  }
  platform::OpenDialog& InstallFolderDialog() override { return dialog; }
};

class RunWindowTest : public InstallationFixture {
 protected:
  // Each pass checks that the callbacks reach this window, and says which pass it is.
  void MarkPasses() {
    for (auto* pass : {&engine.recovery, &engine.verify, &engine.update}) {
      pass->insert(pass->begin(), Bare(21));
      pass->front().before = [this, pass] {
        EXPECT_EQ(update::ActiveRun::Window(), &window);
        window.calls.push_back(pass == &engine.recovery ? "<recovery>" : pass == &engine.verify ? "<verify>" : "<update>");
      };
    }
  }
  RecordingWindow window;
  ScriptedEngine engine;
};

TEST_F(RunWindowTest, AOneFileRunAsksTheWindowForExactlyThis) {
  engine.verify = std::vector<EngineEvent>{Number(6, 1)} + VerifiedFile("orvan.exe");
  engine.update = PatchedFile("orvan.exe");
  MarkPasses();
  update::RunUpdate(window);
  Lines expected = Opening() +
                   Lines{"[changing]", "<recovery>", "[not changing]"} + Detected("1.1.0") +
                   Lines{"Beginning patch process. This may take several minutes...", "<verify>",
                         "[file bar 0]", "[file bar 50]", "[file bar 100]", "[overall bar 50]",
                         "", "There is one file to be patched in this update.",
                         "[changing]", "<update>", "[file bar 0]", "",
                         "Patching orvan.exe from 1.1.0 to 1.2.0, file #1 of 1.", "[file bar 0]",
                         "[file bar 100]", "[file bar 100]", "orvan.exe patched successfully.", "",
                         "Finishing update...", "[overall bar 100]", "[not changing]",
                         "", "[file bar 100]", "[overall bar 100]", "Update completed successfully!", "",
                         "\"Orvan: Silent Thrones\" version 1.2.0 is ready to run on your system.",
                         "[button: OK]", "[save log shown]"};
  EXPECT_EQ(window.calls, expected);
  EXPECT_TRUE(window.state.Finished);
  EXPECT_TRUE(window.state.AtTargetVersion);
  EXPECT_EQ(window.state.FilesDone, 1);
  // The window is registered for the passes only.
  EXPECT_EQ(update::ActiveRun::Window(), nullptr);
}

TEST_F(RunWindowTest, ACancelInTheRunStateStopsTheUpdateAtTheEndOfTheFile) {
  engine.verify = std::vector<EngineEvent>{Number(6, 2)} + VerifiedFile("a.dat") + VerifiedFile("b.dat");
  engine.update = PatchedFile("a.dat") + PatchedFile("b.dat");
  engine.update[2].before = [this] { window.state.CancelRequested = true; };  // during a.dat's progress
  update::RunUpdate(window);
  EXPECT_EQ(engine.replies.back(), "stop");
  EXPECT_EQ(engine.replies.size(), engine.verify.size() + 4);  // nothing of b.dat was sent
  ASSERT_GE(window.calls.size(), 4u);
  EXPECT_EQ(Lines(window.calls.end() - 4, window.calls.end()),
            (Lines{"", "Update did not complete successfully.", "[button: OK]", "[save log shown]"}));
  EXPECT_FALSE(window.state.AtTargetVersion);
}

TEST_F(RunWindowTest, TheInstallFolderIsAskedOfTheWindowsDialog) {
  const std::string installation = PatchInfo.InstallPath;
  PatchInfo.InstallPath.clear();
  platform::OpenDialog* asked = nullptr;
  platform::SetOpenDialogRunner([&](platform::OpenDialog& dialog) {
    asked = &dialog;
    dialog.FileName = installation + "/orvan.exe";
    return true;
  });
  engine.verify = {Number(6, 0)};
  update::RunUpdate(window);
  platform::SetOpenDialogRunner(nullptr);
  EXPECT_EQ(asked, &window.dialog);
  EXPECT_EQ(PatchInfo.InstallPath, installation);
  EXPECT_TRUE(window.state.AtTargetVersion);
}

// A callback with no pass under way has no window to report to: it stops whatever it is sent,
// and nothing is recorded anywhere.
TEST(PassCallbacksWithoutARun, StopAndTouchNothing) {
  ASSERT_EQ(update::ActiveRun::Window(), nullptr);
  std::string name = "orvan.exe";
  for (auto callback : {update::VerifyPassCallback, update::UpdatePassCallback}) {
    EXPECT_EQ(callback(7, name.data()), nullptr);
    EXPECT_EQ(callback(19, nullptr), nullptr);
  }
  EXPECT_TRUE(PatchInfo.FilesToPatch.empty());
}

TEST(ActiveRun, RegistrationsNestAndAreUndoneInReverse) {
  RecordingWindow outer, inner;
  {
    update::ActiveRun first(outer);
    {
      update::ActiveRun second(inner);
      EXPECT_EQ(update::ActiveRun::Window(), &inner);
    }
    EXPECT_EQ(update::ActiveRun::Window(), &outer);
  }
  EXPECT_EQ(update::ActiveRun::Window(), nullptr);
}

}  // namespace
