// Taking the installation for a pass that changes it (its lock, then any interrupted update
// finished or undone), and the recovery pass, which does only that.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "patchw32/engine/host_channel.h"
#include "patchw32/engine/installation.h"
#include "patchw32/format/format.h"
#include "platform/files.h"

namespace engine {

// Takes the installation's lock for this pass into `lock` (left null when this process holds it
// already). When the pass may not go on, tells the host why (one id 4) and gives the result.
// `changes`: whether the pass would change anything; without it a lock that can't be made
// (a read-only folder) is no reason to stop.
std::optional<int32_t> LockInstallation(const Installation& installation, bool changes, HostChannel& host,
                                        std::unique_ptr<platform::InstallationLock>& lock);

// Finishes or undoes the update that a journal in the folder describes, when that journal is
// this payload's for this folder. `announce`: tell the host with one id 9 text which it was.
// When the installation can't be brought back to one version, tells the host (one id 4).
std::optional<int32_t> RecoverBeforePass(const payload::PayloadIndex& index, const Installation& installation,
                                         bool announce, HostChannel& host);

// "<folder>" -i -r: silent when there is nothing to do.
int32_t RunRecoveryPass(const payload::PayloadIndex& index, const Installation& installation, HostChannel& host);

}  // namespace engine
