// The installation locator: current folder, registry keys in order, long names, the chosen folder.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "src/detect/locator.h"
#include "tests/unit/detect/test_folder.h"

namespace {

using detect_test::ScopedCurrentFolder;
using detect_test::ScopedEnvironment;
using detect_test::TempFolder;
namespace fs = std::filesystem;

// A Wine prefix whose drive X: is a folder of the test, with the given keys' "Install Path"
// values in the 32-bit view; `rawValues` are written into system.reg as they stand.
struct Machine {
  TempFolder folder;
  ScopedEnvironment prefix{"WINEPREFIX", folder.Path("prefix")};
  std::string driveX;

  explicit Machine(const std::vector<std::pair<std::string, std::string>>& rawValues) {
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
    for (const auto& [key, value] : rawValues) {
      std::string escaped;
      for (char c : key) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
      text += "[Software\\\\Wow6432Node\\\\" + escaped + "] 1796898328\n#time=1dd8890c6b962d4\n\"Install Path\"=" + value + "\n\n";
    }
    folder.Write("prefix/system.reg", text);
    folder.MakeFolder("prefix/dosdevices");
    driveX = folder.MakeFolder("drive_x");
    fs::create_directory_symlink(driveX, folder.Path("prefix/dosdevices/x:"));
    driveX = fs::canonical(driveX).string();
  }
  // Puts the game executable into a folder of drive X:.
  std::string Install(const std::string& relative) {
    folder.Write("drive_x/" + relative + "/Orvan.exe", "MZ");
    return fs::canonical(driveX + "/" + relative).string();
  }
};

Update Description(std::vector<std::string> keys) {
  Update info;
  info.Valid = true;
  info.ExeName = "orvan.exe";
  info.RegistryKeys = std::move(keys);
  return info;
}

TEST(LocateInstallation, CurrentFolderWinsAndTheRegistryIsNotRead) {
  // A value of the wrong type raises an error the moment the registry is read.
  Machine machine({{"Quillmer\\Orvan", "dword:00000001"}});
  TempFolder game;
  game.Write("Orvan.exe", "MZ");
  ScopedCurrentFolder inGame(game.Path());
  Update info = Description({"Software\\Quillmer\\Orvan"});
  EXPECT_NO_THROW(LocateInstallation(info));
  EXPECT_EQ(info.InstallPath, fs::current_path().string());
}

TEST(LocateInstallation, FirstKeyWhoseFolderHoldsTheGameWins) {
  Machine machine({{"Empty", "\"\""},
                   {"Stale", "\"X:\\\\Old\\\\Orvan\""},
                   {"First", "\"X:\\\\Games\\\\Orvan\""},
                   {"Second", "\"X:\\\\Other\\\\Orvan\""}});
  machine.folder.MakeFolder("drive_x/Old/Orvan");
  std::string first = machine.Install("Games/Orvan");
  machine.Install("Other/Orvan");
  TempFolder elsewhere;
  ScopedCurrentFolder away(elsewhere.Path());
  Update info = Description({"Software\\Missing", "Software\\Empty", "Software\\Stale", "Software\\First", "Software\\Second"});
  LocateInstallation(info);
  EXPECT_EQ(info.InstallPath, first);
}

TEST(LocateInstallation, YieldsTheNamesStoredOnDisk) {
  struct Case {
    const char* name;
    const char* value;  // as system.reg holds it
  };
  const Case cases[] = {
      {"other letter case", "\"X:\\\\GAMES\\\\ORVAN\""},
      {"trailing backslash", "\"X:\\\\Games\\\\Orvan\\\\\""},
      {"lower case, forward slashes", "\"x:/games/orvan\""},
  };
  for (const Case& c : cases) {
    Machine machine({{"Quillmer\\Orvan", c.value}});
    std::string installed = machine.Install("Games/Orvan");
    TempFolder elsewhere;
    ScopedCurrentFolder away(elsewhere.Path());
    Update info = Description({"Software\\Quillmer\\Orvan"});
    LocateInstallation(info);
    EXPECT_EQ(info.InstallPath, installed) << c.name;
  }
}

TEST(LocateInstallation, WrongValueTypeEndsTheSearch) {
  Machine machine({{"Broken", "hex:01,02"}, {"Good", "\"X:\\\\Games\\\\Orvan\""}});
  machine.Install("Games/Orvan");
  TempFolder elsewhere;
  ScopedCurrentFolder away(elsewhere.Path());
  Update info = Description({"Software\\Broken", "Software\\Good"});
  try {
    LocateInstallation(info);
    ADD_FAILURE() << "no error";
  } catch (const platform::FrameworkError& error) {
    EXPECT_STREQ(error.what(), "Invalid data type for 'Install Path'");
  }
  EXPECT_EQ(info.InstallPath, "");
}

// A pipe named like the executable would block the search for ever at its open; it is no game.
TEST(LocateInstallation, PassesOverAPipeNamedLikeTheExecutable) {
  Machine machine({{"Quillmer\\Orvan", "\"X:\\\\Pipes\""}, {"Other", "\"X:\\\\Games\\\\Orvan\""}});
  std::string installed = machine.Install("Games/Orvan");
  machine.folder.MakeFolder("drive_x/Pipes");
  std::vector<std::string> pipes = {machine.folder.MakePipe("drive_x/Pipes/Orvan.exe")};
  TempFolder current;
  pipes.push_back(current.MakePipe("Orvan.exe"));
  ScopedCurrentFolder inCurrent(current.Path());
  Update info = Description({"Software\\Quillmer\\Orvan", "Software\\Other"});
  ASSERT_TRUE(detect_test::EndsWithoutBlocking([&] { LocateInstallation(info); }, pipes));
  EXPECT_EQ(info.InstallPath, installed);
}

// Killed mid-swap, an update may leave the executable only set aside or staged beside its name;
// the folder is still the installation, where the update run's recovery pass puts it right.
TEST(LocateInstallation, AFolderWithAnInterruptedUpdateOfTheExecutableIsTheInstallation) {
  struct Case {
    const char* name;
    std::vector<const char*> files;
    bool found;
  };
  const Case cases[] = {
      {"set aside", {"update-journal.orvan~", "Orvan.exe.old.orvan~"}, true},
      {"staged", {"update-journal.orvan~", "Orvan.exe.new.orvan~"}, true},
      {"no journal", {"Orvan.exe.old.orvan~", "Orvan.exe.new.orvan~"}, false},
      {"journal of other files", {"update-journal.orvan~", "data.pak.old.orvan~"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Machine machine({{"Quillmer\\Orvan", "\"X:\\\\Games\\\\Orvan\""}});
    machine.folder.MakeFolder("drive_x/Games/Orvan");
    for (const char* file : c.files) machine.folder.Write(std::string("drive_x/Games/Orvan/") + file, "x");
    std::string expected = c.found ? fs::canonical(machine.driveX + "/Games/Orvan").string() : "";
    {
      TempFolder elsewhere;
      ScopedCurrentFolder away(elsewhere.Path());
      Update info = Description({"Software\\Quillmer\\Orvan"});
      LocateInstallation(info);
      EXPECT_EQ(info.InstallPath, expected);
    }
    // Started from inside that folder.
    ScopedCurrentFolder inside(machine.driveX + "/Games/Orvan");
    Update info = Description({});
    LocateInstallation(info);
    EXPECT_EQ(info.InstallPath, c.found ? fs::current_path().string() : "");
  }
}

TEST(LocateInstallation, RunsOnlyForAValidDescriptionAndAnUnknownFolder) {
  TempFolder game;
  game.Write("orvan.exe", "MZ");
  ScopedCurrentFolder inGame(game.Path());
  Update invalid = Description({});
  invalid.Valid = false;
  LocateInstallation(invalid);
  EXPECT_EQ(invalid.InstallPath, "");
  Update known = Description({});
  known.InstallPath = "/already/known";
  LocateInstallation(known);
  EXPECT_EQ(known.InstallPath, "/already/known");
}

TEST(ExpandLongPath, LeavesTheResultAloneWhenThePathIsMissing) {
  TempFolder folder;
  folder.MakeFolder("Program Files/Orvan");
  std::string expanded = "untouched";
  EXPECT_FALSE(ExpandLongPath(folder.Path("program files/missing"), expanded));
  EXPECT_EQ(expanded, "untouched");
  EXPECT_TRUE(ExpandLongPath(folder.Path("PROGRAM FILES//orvan"), expanded));
  EXPECT_EQ(expanded, folder.Path("Program Files/Orvan"));
}

// A scripted dialog: each run takes the next answer, nothing meaning a cancel.
struct ScriptedDialog {
  std::vector<std::optional<std::string>> answers;
  size_t runs = 0;
  ScriptedDialog(std::vector<std::optional<std::string>> script) : answers(std::move(script)) {
    platform::SetOpenDialogRunner([this](platform::OpenDialog& dialog) {
      const auto& answer = answers.at(runs++);
      if (answer) dialog.FileName = *answer;
      return answer.has_value();
    });
  }
  ~ScriptedDialog() { platform::SetOpenDialogRunner(nullptr); }
};

TEST(ChooseInstallFolder, TakesTheFolderOfTheChosenFileAndKeepsItAfterACancel) {
  ScriptedDialog script({std::nullopt, "/games/orvan/Orvan.exe", std::nullopt, "/Orvan.exe"});
  platform::OpenDialog dialog;
  dialog.FileName = "Orvan.exe";  // the layout's name: a cancel before any choice keeps it
  Update info;
  const char* expected[] = {"", "/games/orvan", "/games/orvan", "/"};  // the root is a folder too
  for (const char* folder : expected) {
    info.InstallPath = "stale";
    ChooseInstallFolder(dialog, info);
    EXPECT_EQ(info.InstallPath, folder) << "run " << script.runs;
  }
  EXPECT_EQ(script.runs, 4u);
}

TEST(ChooseInstallFolder, ConsoleReadsThePathFromStandardInput) {
  std::istringstream input("/home/player/Orvan/Orvan.exe\r\n\n/home/player/Other/Orvan\n");
  std::streambuf* saved = std::cin.rdbuf(input.rdbuf());
  platform::OpenDialog dialog;
  dialog.FileName = "Orvan.exe";
  dialog.DefaultExt = "exe";
  Update info;
  ChooseInstallFolder(dialog, info);
  EXPECT_EQ(info.InstallPath, "/home/player/Orvan");
  ChooseInstallFolder(dialog, info);  // an empty line: a cancel
  EXPECT_EQ(info.InstallPath, "/home/player/Orvan");
  ChooseInstallFolder(dialog, info);
  EXPECT_EQ(dialog.FileName, "/home/player/Other/Orvan.exe");
  EXPECT_EQ(info.InstallPath, "/home/player/Other");
  ChooseInstallFolder(dialog, info);  // end of input: a cancel
  EXPECT_EQ(info.InstallPath, "/home/player/Other");
  std::cin.clear();
  std::cin.rdbuf(saved);
}

}  // namespace
