// PatchApply32: parse the command line, read and check the payload, run the pass.
#include <exception>
#include <string>

#include "patchw32/engine/command_line.h"
#include "patchw32/engine/host_channel.h"
#include "patchw32/engine/installation.h"
#include "patchw32/engine/journal.h"
#include "patchw32/engine/listing_pass.h"
#include "patchw32/engine/recovery_pass.h"
#include "patchw32/engine/update_pass.h"
#include "patchw32/engine/verify_pass.h"
#include "patchw32/format/payload_reader.h"
#include "patchw32/include/patchw32.h"
#include "platform/files.h"

namespace engine {
namespace {

int32_t Run(const char* commandLine, HostChannel& host) {
  std::string error;
  auto command = ParseCommandLine(commandLine ? commandLine : "", error);
  if (!command) {
    host.SendText(PW_MSG_ERROR, "The patch engine was started wrongly: " + error + ".");
    return PW_BAD_COMMAND_LINE;
  }

  // The listing pass reads only the payload: the folder it is given (wherever the updater was
  // started) is not looked at, let alone changed.
  bool inInstallation = command->pass != Pass::List;
  Installation installation(command->folder);
  if (inInstallation && platform::KindOf(installation.Folder()) != platform::PathKind::Folder) {
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
      // What it would say of a half-updated installation is worth nothing; it changes nothing,
      // so the recovery pass (or the update pass) has to deal with the journal first.
      if (JournalPresent(installation)) {
        host.SendText(PW_MSG_ERROR, "An interrupted update left its journal " + installation.Full(kJournalName) +
                                        "; the installation can't be checked until it is finished or undone.");
        return PW_IO_ERROR;
      }
      return RunVerificationPass(index, *updater, installation, host);
    case Pass::Update:
      return RunUpdatePass(index, *updater, installation, command->backupFolder, host);
    case Pass::Recover:
      return RunRecoveryPass(index, installation, host);
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
