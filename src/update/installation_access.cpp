// The installation lock and the recovery pass, as the driver runs them before detection.
#include "src/update/installation_access.h"

#include "src/patchinfo/patch_info.h"
#include "src/strings/string_table.h"
#include "src/update/engine_pass.h"
#include "src/update/recovery_pass_callback.h"

namespace update {

bool HoldInstallation(RunWindow& window, std::unique_ptr<platform::InstallationLock>& lock) {
  if (PatchInfo.InstallPath.empty()) return true;  // no folder: detection says so
  platform::LockOutcome outcome = platform::LockOutcome::Failed;
  lock = platform::InstallationLock::Acquire(PatchInfo.InstallPath, outcome);
  if (outcome != platform::LockOutcome::HeldByAnotherProcess) return true;
  std::string line = FormatText("%s is being updated by another program in %s. Try again when it has finished.",
                                PatchInfo.ShortName, PatchInfo.InstallPath);
  window.WarningDialog(line);
  window.AddLogLine("");
  window.AddLogLine(line);
  window.AddLogLine("");
  window.AddLogLine(LoadAppString(24));
  return false;
}

bool RecoverInterruptedUpdate(RunWindow& window) {
  // No such folder (none chosen, or a path typed wrong): detection says so.
  if (platform::KindOf(PatchInfo.InstallPath) != platform::PathKind::Folder) return true;
  if (RunEnginePass(window, "-i -r", RecoveryPassCallback, PassChanges::Installation) == 0) return true;
  window.AddLogLine("");
  window.AddLogLine(LoadAppString(9));
  return false;
}

}  // namespace update
