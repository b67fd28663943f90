// PatchApply32: parse the command line, read and check the payload, run the pass.
#include <exception>
#include <string>

#include "command_line.h"
#include "host_channel.h"
#include "installation.h"
#include "listing_pass.h"
#include "patchw32.h"
#include "payload_reader.h"
#include "platform.h"
#include "transaction.h"
#include "update_pass.h"
#include "verify_pass.h"

namespace engine {
namespace {

int32_t Run(const char* commandLine, HostChannel& host) {
  std::string error;
  auto command = ParseCommandLine(commandLine ? commandLine : "", error);
  if (!command) {
    host.SendText(PW_MSG_ERROR, "The patch engine was started wrongly: " + error + ".");
    return PW_BAD_COMMAND_LINE;
  }

  // Before anything else: a run that was killed in this folder is finished or undone, so that
  // what this pass sees is all-old or all-new.
  Installation installation(command->folder);
  bool inInstallation = command->pass != Pass::List;
  if (platform::KindOf(installation.Folder()) == platform::PathKind::Folder) {
    auto recovery = RecoverInterruptedUpdate(installation, error);
    // The listing pass only reads the payload; the passes over the installation can't go on.
    if (recovery == RecoveryResult::Failed && inInstallation) {
      host.SendText(PW_MSG_ERROR, "An interrupted update of " + installation.Folder() +
                                      " could not be finished or undone: " + error + ".");
      return PW_IO_ERROR;
    }
  } else if (inInstallation) {
    host.SendText(PW_MSG_ERROR, "The installation folder " + installation.Folder() + " was not found.");
    return PW_IO_ERROR;
  }

  payload::PayloadIndex index;
  auto updater = platform::File::Open(command->updaterPath, platform::File::Mode::Read);
  if (!updater) {
    host.SendText(PW_MSG_ERROR, "The patch could not be opened: " + command->updaterPath + ".");
    return PW_IO_ERROR;
  }
  if (!payload::ReadPayloadIndex(*updater, index, error)) {
    // The listing pass's host shows its own corrupt-patch box for an error text.
    if (inInstallation) host.Send(PW_MSG_CORRUPT_INDEX);
    else host.SendText(PW_MSG_ERROR, "The patch information is invalid: " + error + ".");
    return PW_BAD_PAYLOAD;
  }

  switch (command->pass) {
    case Pass::List:
      return RunListingPass(index, host);
    case Pass::Verify:
      return RunVerificationPass(index, *updater, installation, host);
    case Pass::Update:
      return RunUpdatePass(index, *updater, installation, command->backupFolder, host);
  }
  return PW_NOT_SUPPORTED;
}

}  // namespace
}  // namespace engine

extern "C" int32_t PATCHW32_CALL PatchApply32(const char* commandLine, PatchCallback callback, int32_t waitFlag) {
  if (!callback) return PW_BAD_COMMAND_LINE;
  // No exception may cross into the host.
  try {
    engine::HostChannel host(callback);
    return engine::Run(commandLine, host);
  } catch (...) {
    return PW_INTERNAL_ERROR;
  }
}
