// The detection subsystem from the command line, for the end-to-end tests:
//   detect_probe locate EXE KEY...        InstallPath after the search (cwd, then the keys)
//   detect_probe scan FOLDER              the expansion entries: name, id, index, version text
//   detect_probe detect FOLDER EXE ID...  the installed and the expansion version
// A framework error is printed as "error: <text>" with exit code 3.
#include <cstdio>
#include <string>
#include <vector>

#include "src/detect/locator.h"
#include "src/detect/version_detection.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return 2;
  try {
    if (args[0] == "locate") {
      Update info;
      info.Valid = true;
      info.ExeName = args[1];
      info.RegistryKeys.assign(args.begin() + 2, args.end());
      LocateInstallation(info);
      std::printf("%s\n", info.InstallPath.c_str());
      return 0;
    }
    if (args[0] == "scan") {
      XPDManager manager;
      manager.ScanExpansionFiles(args[1]);
      for (const auto& entry : manager.Entries)
        std::printf("%s %u %d %s\n", entry->Name.c_str(), entry->Id, entry->Index, entry->VersionText.c_str());
      return 0;
    }
    if (args[0] == "detect" && args.size() >= 3) {
      Update info;
      info.InstallPath = args[1];
      info.ExeName = args[2];
      info.ExpansionIds.assign(args.begin() + 3, args.end());
      int result = DetectInstalledVersion(info);
      std::printf("result %d installed '%s' expansion '%s'\n", result, info.InstalledVersion.Text.c_str(),
                  info.ExpansionVersion.Text.c_str());
      return 0;
    }
  } catch (const platform::FrameworkError& error) {
    std::printf("error: %s\n", error.what());
    return 3;
  }
  return 2;
}
