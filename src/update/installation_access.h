// The steps before anything reads the installation: one update at a time, and an update that was
// interrupted finished or undone.
#pragma once

#include <memory>

#include "platform/files.h"
#include "src/update/run_window.h"

namespace update {

// One update at a time per installation: the lock is held from the recovery pass to the end of
// the update pass, and the system drops it when the process ends, however it ends. False, said to
// the player, when another program holds it. Where no lock file can be made (a read-only or
// missing folder) the run goes on without one, to say what is installed; the engine takes the
// lock itself before it changes anything.
bool HoldInstallation(RunWindow& window, std::unique_ptr<platform::InstallationLock>& lock);

// An update killed at any instant is finished or undone in the installation itself before anything
// reads it, wherever this updater was started from. False when that could not be done: the
// installation may then be half updated, and nothing is read or changed.
bool RecoverInterruptedUpdate(RunWindow& window);

}  // namespace update
