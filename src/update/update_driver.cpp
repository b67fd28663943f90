// The update driver: detect, decide, verify, update, and say how it went.
#include "src/update/update_driver.h"

#include <cctype>
#include <exception>
#include <memory>
#include <optional>

#include "platform/files.h"
#include "src/engine_host/engine_loader.h"
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
  std::optional<char> driveLetter;  // of the drive that holds the installation, when it has one
  std::string volumeName;
  int64_t bytes = -1;
};

// Measured before the verification pass, which tells how much the update needs.
FreeSpace QueryFreeSpace(const std::string& installPath) {
  platform::Volume volume = platform::VolumeHolding(installPath);
  FreeSpace space{volume.DriveLetter, volume.Name};
  if (volume.AvailableBytes) space.bytes = static_cast<int64_t>(*volume.AvailableBytes);
  return space;
}

std::string SpaceLine(const FreeSpace& space) {
  std::string available = FormatThousands(space.bytes);
  std::string required = FormatThousands(PatchInfo.RequiredBytes);
  if (!space.driveLetter)
    return FormatText("%s bytes available on %s, %s bytes required for patch.", available, space.volumeName, required);
  return FormatText(LoadAppString(38), available, *space.driveLetter, required);
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
    window.AddLogLine(SpaceLine(space));
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
  // The recovery, verification and update passes share one copy of the engine, written out once.
  engine_host::KeepEngineLoaded engine;
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
