// The update driver: detect, decide, verify, update, and say how it went.
#include "src/update/update_driver.h"

#include <cctype>
#include <exception>
#include <memory>

#include "platform/platform.h"
#include "src/detect/locator.h"
#include "src/detect/version_detection.h"
#include "src/patchinfo/patch_info.h"
#include "src/strings/string_table.h"
#include "src/update/engine_pass.h"
#include "src/update/installation_access.h"
#include "src/update/update_pass_callback.h"
#include "src/update/verify_pass_callback.h"
#include "src/update/version_verdict.h"

namespace update {
namespace {

struct FreeSpace {
  char driveLetter = 0;
  bool onDrive = false;  // the installation's path names a drive letter
  int64_t bytes = -1;
};

// The drive of a path that names one ("d:..."); else the current folder's drive. A posix path
// names no drive: then the file system holding the installation is measured.
FreeSpace QueryFreeSpace(const std::string& installPath) {
  FreeSpace space;
  std::string current = platform::CurrentFolder();
  space.driveLetter = current.empty() ? ' ' : current[0];
  std::string folder = current;
  if (installPath.size() >= 2 && installPath[1] == ':') {
    space.onDrive = true;
    space.driveLetter = installPath[0];
    folder = std::string(1, installPath[0]) + ":" + platform::PathSeparator();
  } else if (platform::PathSeparator() == '/' && !installPath.empty()) {
    folder = installPath;
  }
  if (auto bytes = platform::FreeBytes(folder)) space.bytes = static_cast<int64_t>(*bytes);
  return space;
}

std::string SpaceLine(const FreeSpace& space, const std::string& installPath) {
  std::string available = FormatThousands(space.bytes);
  std::string required = FormatThousands(PatchInfo.RequiredBytes);
  if (platform::PathSeparator() == '/' && !space.onDrive) {
    return FormatText("%s bytes available on the file system holding %s, %s bytes required for patch.",
                      available, installPath, required);
  }
  return FormatText(LoadAppString(38), available, space.driveLetter, required);
}

void FinishRun(RunWindow& window) {
  window.SetCancelButtonCaption(LoadAppString(5));
  window.ShowSaveLogButton();
  window.State().Finished = true;
}

void LogOpeningLines(RunWindow& window) {
  window.AddLogLine(PatchInfo.ShortName + " " + LoadAppString(1) + " v" + PatchInfo.UtilityVersion);
  window.AddLogLine(LoadAppString(2));
  window.AddLogLine("");
  window.AddLogLine(FormatText(LoadAppString(3), PatchInfo.ShortName, PatchInfo.FromVersion.Text,
                               PatchInfo.ToVersion.Text));
  window.AddLogLine("");
}

int32_t RunVerification(RunWindow& window, const FreeSpace& space) {
  window.AddLogLine(LoadAppString(33));
  int32_t result = RunEnginePass(window, "-i -j", VerifyPassCallback, PassChanges::Nothing);
  if (!PatchInfo.SkipVersionCheck && PatchInfo.Mismatch) {
    result = -1;
    window.AddLogLine("");
    window.AddLogLine("Installation does not match expected contents, terminating update with no changes applied.");
  }
  if (PatchInfo.RequiredBytes != 0) {
    window.AddLogLine("");
    window.AddLogLine(SpaceLine(space, PatchInfo.InstallPath));
    window.AddLogLine("");
    window.AddLogLine(FormatText(LoadAppString(37), PatchInfo.ProductName, PatchInfo.InstalledVersion.Text));
    result = -1;
  }
  return result;
}

// Counts the files, then runs the update pass when there are any.
int32_t RunUpdatePass(RunWindow& window) {
  RunState& run = window.State();
  run.TotalFiles = static_cast<int>(PatchInfo.FilesToPatch.size());
  if (PatchInfo.ExpansionVersion.Valid) {
    if (PatchInfo.ExpansionVersion.Text == PatchInfo.ToVersion.Text) {
      window.AddLogLine(VerdictLine(ExpansionName(), 26, PatchInfo.ToVersion.Text));
      window.AddLogLine("");
    } else {
      run.TotalFiles += static_cast<int>(PatchInfo.ExpansionFilesToPatch.size());
    }
  }
  if (run.TotalFiles <= 0) return 0;
  window.AddLogLine("");
  window.AddLogLine(run.TotalFiles == 1 ? LoadAppString(11) : FormatText(LoadAppString(12), run.TotalFiles));
  run.LastFile = !PatchInfo.ExpansionFilesToPatch.empty() ? PatchInfo.ExpansionFilesToPatch.back()
                 : !PatchInfo.FilesToPatch.empty()         ? PatchInfo.FilesToPatch.back()
                                                           : std::string();
  std::string backup = PatchInfo.Backup ? "-b:Update_" + PatchInfo.FromVersion.Text + "_Backup" : "";
  return RunEnginePass(window, "-i -u " + backup, UpdatePassCallback, PassChanges::Installation);
}

void LogVerdict(RunWindow& window, int32_t result) {
  RunState& run = window.State();
  window.AddLogLine("");
  if (result != 0 || run.CancelRequested) {
    window.AddLogLine(LoadAppString(9));
    return;
  }
  window.SetFileProgress(100);
  window.SetOverallProgress(100);
  run.AtTargetVersion = run.TotalFiles == 0 || !PatchInfo.Mismatch;
  if (run.TotalFiles == 0) {
    window.AddLogLine(LoadAppString(23));
  } else if (PatchInfo.Mismatch) {
    window.AddLogLine("");
    window.AddLogLine("Unable to determine if patch completed successfully,");
    window.AddLogLine("since some files were not of the expected version.");
  } else {
    window.AddLogLine(LoadAppString(4));
    window.AddLogLine("");
    window.AddLogLine(FormatText("\"%s\" version %s is ready to run on your system.", PatchInfo.ProductName,
                                 PatchInfo.ToVersion.Text));
    if (!PatchInfo.ExpansionFilesToPatch.empty()) {
      window.AddLogLine(FormatText("\"%s\" version %s is ready to run on your system.", ExpansionName(),
                                   PatchInfo.ToVersion.Text));
    }
  }
}

void RunSteps(RunWindow& window) {
  LogOpeningLines(window);
  if (PatchInfo.InstallPath.empty()) ChooseInstallFolder(window.InstallFolderDialog());
  window.AddLogLine(FormatText(LoadAppString(17), PatchInfo.ShortName, PatchInfo.InstallPath));

  std::unique_ptr<platform::InstallationLock> lock;
  if (!HoldInstallation(window, lock)) return;
  if (!RecoverInterruptedUpdate(window)) return;
  if (DetectInstalledVersion() == 0) {
    ReportUndeterminedVersion(window);
    return;
  }
  LogDetectedVersions(window);

  if (!PatchInfo.SkipVersionCheck && PatchInfo.InstalledVersion.Text != PatchInfo.FromVersion.Text) {
    ReportVersionDecision(window);
    return;
  }
  FreeSpace space = QueryFreeSpace(PatchInfo.InstallPath);
  int32_t result = RunVerification(window, space);
  if (result == 0) result = RunUpdatePass(window);
  LogVerdict(window, result);
}

}  // namespace

std::string FormatThousands(int64_t value) {
  std::string digits = std::to_string(value);
  size_t firstDigit = digits[0] == '-' ? 1 : 0;
  for (ptrdiff_t at = static_cast<ptrdiff_t>(digits.size()) - 3; at > static_cast<ptrdiff_t>(firstDigit); at -= 3)
    digits.insert(static_cast<size_t>(at), ",");
  return digits;
}

void RunUpdate(RunWindow& window) {
  // An error raised during the run (a malformed checksum record, say) is shown, and the run still
  // ends with the OK button, so the player can leave.
  try {
    RunSteps(window);
  } catch (const std::exception& error) {
    window.ErrorBox(error.what());
    window.AddLogLine("");
    window.AddLogLine(LoadAppString(9));
  }
  FinishRun(window);
}

}  // namespace update
