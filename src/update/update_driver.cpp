// The update driver: detect, decide, verify, update, and say how it went.
#include "src/update/update_driver.h"

#include <cctype>
#include <exception>
#include <memory>
#include <optional>

#include "src/engine_host/engine_loader.h"
#include "src/detect/locator.h"
#include "platform/files.h"
#include "src/update/progress_window.h"
#include "src/update/recovery_pass_callback.h"
#include "src/strings/string_table.h"
#include "src/patchinfo/patch_info.h"
#include "src/update/update_pass_callback.h"
#include "src/detect/version_detection.h"
#include "src/update/verify_pass_callback.h"
#include "src/update/version_order.h"

namespace {

const char* C(const std::string& text) { return text.c_str(); }

// "\"<name>\" version <v> detected."
std::string DetectedLine(const std::string& name, const std::string& version) {
  return "\"" + name + "\" " + LoadAppString(21) + " " + version + " " + LoadAppString(22);
}

// "\"<name>\" <phrase> <version>."
std::string VerdictLine(const std::string& name, int phraseId, const std::string& version) {
  return FormatText("\"%s\" %s %s.", C(name), C(LoadAppString(phraseId)), C(version));
}

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
    return FormatText("%s bytes available on %s, %s bytes required for patch.", C(available), C(space.volumeName),
                      C(required));
  return FormatText(LoadAppString(38), C(available), *space.driveLetter, C(required));
}

// While a pass may change the installation, a shutdown or log-off is asked to wait for its end.
class ChangingInstallation {
 public:
  explicit ChangingInstallation(TForm1& form) : form_(form) { form_.SetInstallationChanging(true); }
  ~ChangingInstallation() { form_.SetInstallationChanging(false); }
  ChangingInstallation(const ChangingInstallation&) = delete;
  ChangingInstallation& operator=(const ChangingInstallation&) = delete;

 private:
  TForm1& form_;
};

std::string Quoted(const std::string& folder) { return "\"" + folder + "\""; }

// One update at a time per installation: the lock is held from the recovery pass to the end of
// the update pass, and the system drops it when the process ends, however it ends. False, said to
// the player, when another program holds it. Where no lock file can be made (a read-only or
// missing folder) the run goes on without one, to say what is installed; the engine takes the
// lock itself before it changes anything.
bool HoldInstallation(TForm1& form, std::unique_ptr<platform::InstallationLock>& lock) {
  if (PatchInfo.InstallPath.empty()) return true;  // no folder: detection says so
  platform::LockOutcome outcome = platform::LockOutcome::Failed;
  lock = platform::InstallationLock::Acquire(PatchInfo.InstallPath, outcome);
  if (outcome != platform::LockOutcome::HeldByAnotherProcess) return true;
  std::string line = FormatText("%s is being updated by another program in %s. Try again when it has finished.",
                                C(PatchInfo.ShortName), C(PatchInfo.InstallPath));
  form.WarningDialog(line);
  form.AddLogLine("");
  form.AddLogLine(line);
  form.AddLogLine("");
  form.AddLogLine(LoadAppString(24));
  return false;
}

// An update killed at any instant is finished or undone in the installation itself before anything
// reads it, wherever this updater was started from. False when that could not be done: the
// installation may then be half updated, and nothing is read or changed.
bool RecoverInterruptedUpdate(TForm1& form) {
  // No such folder (none chosen, or a path typed wrong): detection says so.
  if (platform::KindOf(PatchInfo.InstallPath) != platform::PathKind::Folder) return true;
  int32_t result = 0;
  {
    ChangingInstallation changing(form);
    result = engine_host::RunPatchEngine(Quoted(PatchInfo.InstallPath) + " -i -r", RecoveryPassCallback, 1);
  }
  if (result == 0) return true;
  form.AddLogLine("");
  form.AddLogLine(LoadAppString(9));
  return false;
}

void FinishRun(TForm1& form) {
  form.SetButton1Caption(LoadAppString(5));
  form.ShowButton2();
  form.Finished = true;
}

void LogOpeningLines(TForm1& form) {
  form.AddLogLine(PatchInfo.ShortName + " " + LoadAppString(1) + " v" + PatchInfo.UtilityVersion);
  form.AddLogLine(LoadAppString(2));
  form.AddLogLine("");
  form.AddLogLine(FormatText(LoadAppString(3), C(PatchInfo.ShortName), C(PatchInfo.FromVersion.Text),
                             C(PatchInfo.ToVersion.Text)));
  form.AddLogLine("");
}

void ReportUndeterminedVersion(TForm1& form) {
  std::string joined;
  for (int id : {19, 27, 28, 29, 30, 31}) joined += LoadAppString(id);
  form.WarningDialog(FormatText(joined, C(PatchInfo.FromVersion.Text), C(PatchInfo.ShortName),
                                C(PatchInfo.ShortName)));
  form.AddLogLine("");
  form.AddLogLine(LoadAppString(19));
  form.AddLogLine(LoadAppString(27));
  form.AddLogLine(FormatText(LoadAppString(28), C(PatchInfo.FromVersion.Text)));
  form.AddLogLine(FormatText(LoadAppString(29), C(PatchInfo.ShortName)));
  form.AddLogLine(LoadAppString(30));
  form.AddLogLine(FormatText(LoadAppString(31), C(PatchInfo.ShortName)));
  form.AddLogLine("");
  form.AddLogLine(LoadAppString(9));
}

// The installed version is not the one the patch starts from: say which case it is.
void ReportVersionDecision(TForm1& form) {
  const std::string& installed = PatchInfo.InstalledVersion.Text;
  const std::string& to = PatchInfo.ToVersion.Text;
  bool upToDate = installed == to;
  if (upToDate)
    form.AddLogLine(VerdictLine(PatchInfo.ProductName, 26, to));
  else if (IsMoreRecent(installed, to))
    form.AddLogLine(VerdictLine(PatchInfo.ProductName, 32, to));
  else
    form.AddLogLine(FormatText(LoadAppString(25), C(PatchInfo.ProductName)));
  form.AddLogLine("");
  form.AddLogLine(LoadAppString(24));
  if (upToDate) form.AddLogLine("");
  form.AtTargetVersion = upToDate;
}

int32_t RunVerification(TForm1& form, const FreeSpace& space) {
  form.AddLogLine(LoadAppString(33));
  int32_t result = engine_host::RunPatchEngine(Quoted(PatchInfo.InstallPath) + " -i -j", VerifyPassCallback, 1);
  if (!PatchInfo.SkipVersionCheck && PatchInfo.Mismatch) {
    result = -1;
    form.AddLogLine("");
    form.AddLogLine("Installation does not match expected contents, terminating update with no changes applied.");
  }
  if (PatchInfo.RequiredBytes != 0) {
    form.AddLogLine("");
    form.AddLogLine(SpaceLine(space));
    form.AddLogLine("");
    form.AddLogLine(FormatText(LoadAppString(37), C(PatchInfo.ProductName), C(PatchInfo.InstalledVersion.Text)));
    result = -1;
  }
  return result;
}

// Counts the files, then runs the update pass when there are any.
int32_t RunUpdatePass(TForm1& form) {
  form.TotalFiles = static_cast<int>(PatchInfo.FilesToPatch.size());
  const std::string expansionName = PatchInfo.ExpansionNames.empty() ? "" : PatchInfo.ExpansionNames.front();
  if (PatchInfo.ExpansionVersion.Valid) {
    if (PatchInfo.ExpansionVersion.Text == PatchInfo.ToVersion.Text) {
      form.AddLogLine(VerdictLine(expansionName, 26, PatchInfo.ToVersion.Text));
      form.AddLogLine("");
    } else {
      form.TotalFiles += static_cast<int>(PatchInfo.ExpansionFilesToPatch.size());
    }
  }
  if (form.TotalFiles <= 0) return 0;
  form.AddLogLine("");
  form.AddLogLine(form.TotalFiles == 1 ? LoadAppString(11) : FormatText(LoadAppString(12), form.TotalFiles));
  form.LastFile = !PatchInfo.ExpansionFilesToPatch.empty() ? PatchInfo.ExpansionFilesToPatch.back()
                  : !PatchInfo.FilesToPatch.empty()         ? PatchInfo.FilesToPatch.back()
                                                            : std::string();
  std::string backup = PatchInfo.Backup ? "-b:Update_" + PatchInfo.FromVersion.Text + "_Backup" : "";
  ChangingInstallation changing(form);
  return engine_host::RunPatchEngine(Quoted(PatchInfo.InstallPath) + " -i -u " + backup, UpdatePassCallback, 1);
}

void LogVerdict(TForm1& form, int32_t result) {
  form.AddLogLine("");
  if (result != 0 || form.CancelRequested) {
    form.AddLogLine(LoadAppString(9));
    return;
  }
  form.ProgressBar1.SetPosition(100);
  form.ProgressBar2.SetPosition(100);
  form.AtTargetVersion = form.TotalFiles == 0 || !PatchInfo.Mismatch;
  if (form.TotalFiles == 0) {
    form.AddLogLine(LoadAppString(23));
  } else if (PatchInfo.Mismatch) {
    form.AddLogLine("");
    form.AddLogLine("Unable to determine if patch completed successfully,");
    form.AddLogLine("since some files were not of the expected version.");
  } else {
    form.AddLogLine(LoadAppString(4));
    form.AddLogLine("");
    form.AddLogLine(FormatText("\"%s\" version %s is ready to run on your system.", C(PatchInfo.ProductName),
                               C(PatchInfo.ToVersion.Text)));
    if (!PatchInfo.ExpansionFilesToPatch.empty()) {
      form.AddLogLine(FormatText("\"%s\" version %s is ready to run on your system.",
                                 C(PatchInfo.ExpansionNames.empty() ? "" : PatchInfo.ExpansionNames.front()),
                                 C(PatchInfo.ToVersion.Text)));
    }
  }
}

void RunSteps(TForm1& form) {
  LogOpeningLines(form);
  if (PatchInfo.InstallPath.empty()) ChooseInstallFolder(form.OpenDialog1);
  form.AddLogLine(FormatText(LoadAppString(17), C(PatchInfo.ShortName), C(PatchInfo.InstallPath)));

  std::unique_ptr<platform::InstallationLock> lock;
  if (!HoldInstallation(form, lock)) return;
  if (!RecoverInterruptedUpdate(form)) return;
  if (DetectInstalledVersion() == 0) {
    ReportUndeterminedVersion(form);
    return;
  }
  form.AddLogLine("");
  form.AddLogLine(DetectedLine(PatchInfo.ProductName, PatchInfo.InstalledVersion.Text));
  if (PatchInfo.ExpansionVersion.Valid) {
    form.AddLogLine("");
    form.AddLogLine(DetectedLine(PatchInfo.ExpansionNames.empty() ? "" : PatchInfo.ExpansionNames.front(),
                                 PatchInfo.ExpansionVersion.Text));
  }
  form.AddLogLine("");

  if (!PatchInfo.SkipVersionCheck && PatchInfo.InstalledVersion.Text != PatchInfo.FromVersion.Text) {
    ReportVersionDecision(form);
    return;
  }
  FreeSpace space = QueryFreeSpace(PatchInfo.InstallPath);
  int32_t result = RunVerification(form, space);
  if (result == 0) result = RunUpdatePass(form);
  LogVerdict(form, result);
}

}  // namespace

std::string FormatThousands(int64_t value) {
  std::string digits = std::to_string(value);
  size_t firstDigit = digits[0] == '-' ? 1 : 0;
  for (ptrdiff_t at = static_cast<ptrdiff_t>(digits.size()) - 3; at > static_cast<ptrdiff_t>(firstDigit); at -= 3)
    digits.insert(static_cast<size_t>(at), ",");
  return digits;
}

void RunUpdate(TForm1& form) {
  // An error raised during the run (a malformed checksum record, say) is shown, and the run still
  // ends with the OK button, so the player can leave.
  try {
    RunSteps(form);
  } catch (const std::exception& error) {
    form.ErrorBox(error.what());
    form.AddLogLine("");
    form.AddLogLine(LoadAppString(9));
  }
  FinishRun(form);
}
