// Checks the Windows backends under Wine, after detect_wine.sh has written the registry keys and
// the files below C:\OrvanE2E. Prints one line per failed check; exit code 1 when any failed.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "src/detect/locator.h"
#include "src/detect/version_detection.h"

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
  }
}

void Same(const std::string& actual, const std::string& expected, const std::string& what) {
  Check(actual == expected, what + ": got '" + actual + "', expected '" + expected + "'");
}

std::string ErrorOf(const std::string& key) {
  try {
    ReadRegistryString(key, kInstallPathValue);
  } catch (const platform::FrameworkError& error) {
    return error.what();
  }
  return "no error";
}

Update Description(std::vector<std::string> keys) {
  Update info;
  info.Valid = true;
  info.ExeName = "orvan.exe";  // lower case, as the payload's records give it
  info.RegistryKeys = std::move(keys);
  return info;
}

}  // namespace

int main() {
  const std::string game = "C:\\OrvanE2E\\Game32";

  // The registry: the 32-bit view only, values of the wrong type refused.
  Same(ReadRegistryString("Software\\OrvanE2E\\Game32", kInstallPathValue), game, "32-bit view");
  Same(ReadRegistryString("\\SOFTWARE\\orvane2e\\GAME32", "install path"), game, "names without regard to case");
  Same(ReadRegistryString("Software\\OrvanE2E\\Only64", kInstallPathValue), "", "a key only in the 64-bit view");
  Same(ReadRegistryString("Software\\OrvanE2E\\Missing", kInstallPathValue), "", "missing key");
  Same(ReadRegistryString("Software\\OrvanE2E\\Game32", "Missing"), "", "missing value");
  Same(ReadRegistryString("Software\\OrvanE2E\\Expand", kInstallPathValue), "%SystemDrive%\\OrvanE2E", "expandable string");
  Same(ErrorOf("Software\\OrvanE2E\\Dword"), "Invalid data type for 'Install Path'", "DWORD value");

  // The search from another folder: the first key whose folder holds the game wins.
  SetCurrentDirectoryA("C:\\");
  Update info = Description({"Software\\OrvanE2E\\Missing", "Software\\OrvanE2E\\Only64", "Software\\OrvanE2E\\Stale",
                             "Software\\OrvanE2E\\Game32", "Software\\OrvanE2E\\Slash"});
  LocateInstallation(info);
  Same(info.InstallPath, game, "search through the registry");
  info = Description({"Software\\OrvanE2E\\Slash"});
  LocateInstallation(info);
  Same(info.InstallPath, "C:\\OrvanE2E\\Slash", "value with a trailing backslash");
  SetCurrentDirectoryA(game.c_str());
  info = Description({"Software\\OrvanE2E\\Dword"});
  LocateInstallation(info);
  Same(info.InstallPath, game, "the current folder wins and the registry is not read");

  // Long names: from the 8.3 form and from another letter case; the drive keeps its case.
  const std::string longPath = "C:\\OrvanE2E\\Long Folder Name\\Game";
  char shortPath[MAX_PATH] = {};
  Check(GetShortPathNameA(longPath.c_str(), shortPath, MAX_PATH) > 0, "GetShortPathNameA");
  Check(std::string(shortPath) != longPath, std::string("a short form differs: ") + shortPath);
  std::string expanded;
  Check(ExpandLongPath(shortPath, expanded), std::string("expand ") + shortPath);
  Same(expanded, longPath, "long form of the 8.3 path");
  Check(ExpandLongPath("c:\\orvane2e\\LONG FOLDER NAME\\game", expanded), "expand in other case");
  Same(expanded, "c:\\OrvanE2E\\Long Folder Name\\Game", "names on disk, drive as written");
  expanded = "untouched";
  Check(!ExpandLongPath("C:\\OrvanE2E\\Nothing", expanded) && expanded == "untouched", "missing path");

  // A value in the 8.3 form, as an old installer may record it, gives the long form.
  HKEY key = nullptr;
  Check(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\OrvanE2E\\Short", 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                        nullptr, &key, nullptr) == ERROR_SUCCESS,
        "create the key of the 8.3 value");
  RegSetValueExA(key, kInstallPathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(shortPath), lstrlenA(shortPath) + 1);
  RegCloseKey(key);
  SetCurrentDirectoryA("C:\\");
  info = Description({"Software\\OrvanE2E\\Short"});
  LocateInstallation(info);
  Same(info.InstallPath, longPath, "search through an 8.3 value");

  // The chosen folder: a cancel keeps the earlier choice; a drive root gives D:.
  std::vector<std::optional<std::string>> answers = {std::nullopt, "D:\\Orvan.exe", game + "\\Orvan.exe", std::nullopt};
  size_t run = 0;
  platform::SetOpenDialogRunner([&](platform::OpenDialog& dialog) {
    const auto& answer = answers[run++];
    if (answer) dialog.FileName = *answer;
    return answer.has_value();
  });
  platform::OpenDialog dialog;
  dialog.FileName = "Orvan.exe";
  for (const char* expected : {"", "D:", "C:\\OrvanE2E\\Game32", "C:\\OrvanE2E\\Game32"}) {
    ChooseInstallFolder(dialog, info);
    Same(info.InstallPath, expected, "chosen folder, run " + std::to_string(run));
  }
  platform::SetOpenDialogRunner(nullptr);

  // Detection in the game folder: the stamp, and the expansion files found by the system's search.
  Update found = Description({});
  found.InstallPath = game;
  found.ExpansionIds = {"305419896", "3000000000"};
  XPDManager expansions;
  Check(DetectInstalledVersion(found, expansions) == 1, "detection result");
  Same(found.InstalledVersion.Text, "1.1.0", "installed version");
  Same(found.ExpansionVersion.Text, "1.0.1", "expansion version (Isles.XPD sorts after b-Depths.xpd)");
  // The folder old.XPD is no expansion file: only broken.XPD is examined and found invalid.
  Check(expansions.ValidCount == 2 && expansions.InvalidCount == 1 && expansions.Entries.Count() == 3,
        "two valid expansion files, one invalid, and the folder passed over");

  std::printf("%s\n", failures ? "detect under Wine: FAILED" : "detect under Wine: ok");
  return failures ? 1 : 0;
}
