// The driver's passes: the window registered for the callbacks and, for a pass that may change
// the installation, told so for exactly the pass's length.
#include "src/update/engine_pass.h"

#include "src/engine_host/engine_loader.h"
#include "src/patchinfo/patch_info.h"
#include "src/update/active_run.h"

namespace update {
namespace {

class ChangingInstallation {
 public:
  ChangingInstallation(RunWindow& window, PassChanges changes)
      : window_(window), changing_(changes == PassChanges::Installation) {
    if (changing_) window_.SetInstallationChanging(true);
  }
  ~ChangingInstallation() {
    if (changing_) window_.SetInstallationChanging(false);
  }
  ChangingInstallation(const ChangingInstallation&) = delete;
  ChangingInstallation& operator=(const ChangingInstallation&) = delete;

 private:
  RunWindow& window_;
  bool changing_;
};

}  // namespace

int32_t RunEnginePass(RunWindow& window, const std::string& switches, engine_host::EngineCallback callback,
                      PassChanges changes) {
  ChangingInstallation changing(window, changes);
  ActiveRun active(window);
  return engine_host::RunPatchEngine("\"" + PatchInfo.InstallPath + "\" " + switches, callback, 1);
}

}  // namespace update
