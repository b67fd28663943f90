// PatchApply32: parse the command line, read and check the payload, run the pass.
#include <exception>
#include <string>

#include "command_line.h"
#include "host_channel.h"
#include "listing_pass.h"
#include "patchw32.h"
#include "payload_reader.h"
#include "platform.h"

namespace engine {
namespace {

int32_t Run(const char* commandLine, HostChannel& host) {
  std::string error;
  auto command = ParseCommandLine(commandLine ? commandLine : "", error);
  if (!command) {
    host.SendText(PW_MSG_ERROR, "The patch engine was started wrongly: " + error + ".");
    return PW_BAD_COMMAND_LINE;
  }

  payload::PayloadIndex index;
  auto updater = platform::File::Open(command->updaterPath, platform::File::Mode::Read);
  if (!updater) {
    host.SendText(PW_MSG_ERROR, "The patch could not be opened: " + command->updaterPath + ".");
    return PW_IO_ERROR;
  }
  if (!payload::ReadPayloadIndex(*updater, index, error)) {
    host.SendText(PW_MSG_ERROR, "The patch information is invalid: " + error + ".");
    return PW_BAD_PAYLOAD;
  }

  switch (command->pass) {
    case Pass::List:
      return RunListingPass(index, host);
    case Pass::Verify:
    case Pass::Update:
      break;
  }
  host.SendText(PW_MSG_ERROR, "This patch engine cannot run that pass.");
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
