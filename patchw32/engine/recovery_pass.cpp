// The recovery pass and the guard of every pass that changes the installation: one updater at a
// time, and nothing done over a journal that another run left unless it is ours to finish.
#include "patchw32/engine/recovery_pass.h"

#include "patchw32/engine/journal.h"
#include "patchw32/engine/messages.h"
#include "patchw32/engine/transaction.h"

namespace engine {

std::optional<int32_t> LockInstallation(const Installation& installation, bool changes, HostChannel& host,
                                        std::unique_ptr<platform::InstallationLock>& lock) {
  platform::LockOutcome outcome;
  lock = platform::InstallationLock::Acquire(installation.Folder(), outcome);
  switch (outcome) {
    case platform::LockOutcome::Acquired:
    case platform::LockOutcome::HeldByThisProcess:
      return std::nullopt;
    case platform::LockOutcome::HeldByAnotherProcess:
      host.SendText(PW_MSG_ERROR, messages::BeingUpdated(installation.Folder()));
      return PW_IN_USE;
    case platform::LockOutcome::Failed:
      break;
  }
  if (!changes) return std::nullopt;
  host.SendText(PW_MSG_ERROR, "The installation folder " + installation.Folder() +
                                  " could not be locked against other updates (" +
                                  installation.Full(platform::kInstallationLockName) +
                                  " could not be made); nothing was changed.");
  return PW_IO_ERROR;
}

std::optional<int32_t> RecoverBeforePass(const payload::PayloadIndex& index, const Installation& installation,
                                         bool announce, HostChannel& host) {
  std::string error;
  switch (RecoverInterruptedUpdate(installation, index, error)) {
    case RecoveryResult::Nothing:
      return std::nullopt;
    case RecoveryResult::Finished:
      if (announce) host.SendText(PW_MSG_STATUS, messages::InterruptedUpdateFinished());
      return std::nullopt;
    case RecoveryResult::RolledBack:
      if (announce) host.SendText(PW_MSG_STATUS, messages::InterruptedUpdateUndone());
      return std::nullopt;
    case RecoveryResult::Refused:
      host.SendText(PW_MSG_ERROR, messages::JournalLeftAlone(error));
      return PW_IO_ERROR;
    case RecoveryResult::Failed:
      host.SendText(PW_MSG_ERROR,
                    messages::InterruptedUpdateStuck(installation.Folder(), error, installation.Full(kJournalName)));
      return PW_IO_ERROR;
  }
  return PW_INTERNAL_ERROR;
}

int32_t RunRecoveryPass(const payload::PayloadIndex& index, const Installation& installation, HostChannel& host) {
  std::unique_ptr<platform::InstallationLock> lock;
  if (auto refused = LockInstallation(installation, JournalPresent(installation), host, lock)) return *refused;
  // Without a journal there is nothing to do, and nothing is touched (not even a journal's
  // half-written replacement: the update pass drops that, holding the lock).
  if (!JournalPresent(installation)) return PW_OK;
  if (auto failed = RecoverBeforePass(index, installation, true, host)) return *failed;
  return PW_OK;
}

}  // namespace engine
