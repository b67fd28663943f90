// The welcome dialog's text and buttons follow from PatchInfo and the installation search.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/desktop.h"
#include "src/app/welcome_dialog.h"
#include "src/patchinfo/patch_info.h"

namespace {

namespace fs = std::filesystem;

class RecordingWelcomeView : public WelcomeDialogView {
 public:
  int shown = 0, closed = 0;
  std::vector<std::string> errors;
  void ShowProgressWindow() override { ++shown; }
  void CloseMainForm() override { ++closed; }
  void ErrorBox(const std::string& text) override { errors.push_back(text); }
};

class WelcomeDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PatchInfo = Update();
    PatchInfo.Valid = true;
    PatchInfo.ShortName = "Orvan";
    PatchInfo.ExeName = "orvan.exe";
    ParseVersionStamp(PatchInfo.FromVersion, "1.1.0");
    ParseVersionStamp(PatchInfo.ToVersion, "1.2.0");
    game = fs::temp_directory_path() / "orvan-welcome-game";
    fs::remove_all(game);
    fs::create_directories(game);
    std::ofstream(game / "orvan.exe") << "MZ";
    // Nowhere to search: the current folder holds no game and no registry is read.
    setenv("WINEPREFIX", (game / "no-prefix").c_str(), 1);
  }
  void TearDown() override {
    platform::SetOpenDialogRunner(nullptr);
    PatchInfo = Update();
    fs::remove_all(game);
  }
  fs::path game;
  RecordingWelcomeView view;
  TForm2 dialog{&view};
};

const char* kSupport = "If you have any difficulty upgrading, contact Technical Support at support@quillmer-games.example .";

TEST_F(WelcomeDialogTest, WithoutAVersionsRecordOnlyACentredCancelIsOffered) {
  PatchInfo.Valid = false;
  dialog.FormActivate();
  EXPECT_EQ(dialog.Label1, "Update utility could not determine version number to patch to.");
  EXPECT_FALSE(dialog.Button1Visible);
  EXPECT_FALSE(dialog.Button3Visible);
  EXPECT_EQ(dialog.Button2Left, (526 - 75) / 2);
}

TEST_F(WelcomeDialogTest, AFolderNotFoundStillAllowsOk) {
  dialog.FormActivate();
  EXPECT_EQ(dialog.Label1, std::string("This program will try to update your Orvan installation from version 1.1.0 to "
                                       "version 1.2.0.\n\n") + kSupport);
  EXPECT_TRUE(dialog.Button1Visible);
  EXPECT_FALSE(dialog.Button3Visible);
  dialog.Button1Click();
  EXPECT_EQ(view.shown, 1);
}

TEST_F(WelcomeDialogTest, SpecifyFolderNamesTheChosenFolderAndCancelSearchesAgain) {
  std::vector<bool> answers = {true, false};
  platform::SetOpenDialogRunner([&](platform::OpenDialog& open) {
    EXPECT_EQ(open.Title, "Where is Orvan installed?");
    bool chosen = answers.front();
    answers.erase(answers.begin());
    if (chosen) open.FileName = (game / "orvan.exe").string();
    return chosen;
  });
  dialog.FormActivate();
  dialog.Button3Click();
  std::string found = "This program will try to update your Orvan installation found in\n" + game.string() +
                      "\nfrom version 1.1.0 to version 1.2.0.\n\n" + kSupport;
  EXPECT_EQ(dialog.Label1, found);
  EXPECT_TRUE(dialog.Button3Visible);
  // Cancelling after a choice gives the same folder again.
  dialog.Button3Click();
  EXPECT_EQ(dialog.Label1, found);
}

TEST_F(WelcomeDialogTest, CancelClosesTheMainForm) {
  dialog.Button2Click();
  EXPECT_EQ(view.closed, 1);
}

}  // namespace
