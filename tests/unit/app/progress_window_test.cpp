// The progress window's own behaviour: the log's scrolling, saving it, Cancel and closing.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/unit/update/run_fixture.h"
#include "tests/unit/update/scripted_engine.h"

namespace {

using Lines = std::vector<std::string>;
using ProgressWindowTest = RunFixture;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(ProgressWindowTest, TheCaptionNamesTheUpdate) {
  EXPECT_EQ(form->Caption, "Orvan Update: version 1.1.0 to 1.2.0");
  EXPECT_EQ(form->Button1Caption, "Cancel");
  EXPECT_FALSE(form->Button2Visible);
}

TEST_F(ProgressWindowTest, TheTopIndexMovesOnlyOnceTheLogIsLongerThanTheBox) {
  form->VisibleLines = 3;
  for (int i = 0; i < 3; ++i) form->AddLogLine("line");
  EXPECT_EQ(form->TopIndex, 0);
  form->AddLogLine("line");
  form->AddLogLine("line");
  EXPECT_EQ(form->TopIndex, 2);  // the newest line is the last one shown
  form->TopIndex = 0;            // the player scrolled back up
  form->AddLogLine("line");
  EXPECT_EQ(form->TopIndex, 1);
}

TEST_F(ProgressWindowTest, SavingWritesEveryLineWithCrLfAndThenSaysSo) {
  form->AddLogLine("first");
  form->AddLogLine("");
  form->AddLogLine("caf\xe9");
  form->Button2Click();
  std::filesystem::path file = folder / "Orvan_1.2.0_From_1.1.0.txt";
  EXPECT_EQ(form->LogFileName(), file.string());
  EXPECT_EQ(ReadFile(file), "first\r\n\r\ncaf\xe9\r\n");
  EXPECT_EQ(form->ListBox1, (Lines{"first", "", "caf\xe9", "", "Orvan Update log written to " + file.string() + "."}));
  // A second save holds the lines the first one added.
  form->Button2Click();
  EXPECT_EQ(ReadFile(file), "first\r\n\r\ncaf\xe9\r\n\r\nOrvan Update log written to " + file.string() + ".\r\n");
}

TEST_F(ProgressWindowTest, EmptyVersionTextsLeaveNothingBetweenTheUnderscores) {
  PatchInfo.ToVersion = Version();
  PatchInfo.FromVersion = Version();
  EXPECT_EQ(form->LogFileName(), (folder / "Orvan__From_.txt").string());
}

TEST_F(ProgressWindowTest, AFileThatCannotBeCreatedIsAnErrorAndAddsNoLine) {
  PatchInfo.InstallPath = (folder / "missing").string();
  form->AddLogLine("x");
  form->Button2Click();
  EXPECT_EQ(view.dialogs, Lines{"error: Cannot create file " + form->LogFileName() + "."});
  EXPECT_EQ(form->ListBox1, Lines{"x"});
}

TEST_F(ProgressWindowTest, CancelAndCloseOnlyAskWhileRunningAndEndTheProgramOnceAfter) {
  form->Button1Click();
  EXPECT_FALSE(form->FormClose());
  EXPECT_TRUE(form->CancelRequested);
  EXPECT_EQ(form->Button1Caption, "Cancel");
  EXPECT_EQ(view.mainFormClosed, 0);

  form->Finished = true;
  form->Button1Click();
  form->Button1Click();
  EXPECT_EQ(view.mainFormClosed, 1);
  EXPECT_TRUE(form->FormClose());
  EXPECT_TRUE(form->FormClose());
  EXPECT_EQ(view.mainFormClosed, 2);  // each of the two ends the program at most once
}

TEST_F(ProgressWindowTest, AnErrorDuringTheRunIsShownAndTheRunStillFinishes) {
  // A checksum record whose length is not a number raises the framework's conversion error.
  std::filesystem::remove(folder / "orvan.exe");
  PatchInfo.ChecksumFiles = {"orvan.exe"};
  PatchInfo.ChecksumValues = {"0"};
  PatchInfo.ChecksumLengths = {"lots"};
  PatchInfo.ChecksumVersions = {"1.0"};
  ScriptedEngine engine;  // nothing to recover
  form->FormActivate();
  EXPECT_EQ(view.dialogs, Lines{"error: 'lots' is not a valid integer value"});
  EXPECT_EQ(form->ListBox1.back(), "Update did not complete successfully.");
  EXPECT_TRUE(form->Finished);
  EXPECT_EQ(form->Button1Caption, "OK");
}

}  // namespace
