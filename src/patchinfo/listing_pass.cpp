// The listing pass: each record the engine sends goes to the record parser; an error ends the pass.
#include "src/patchinfo/listing_pass.h"

#include <string>

#include "platform/desktop.h"
#include "platform/files.h"
#include "src/engine_host/engine_loader.h"
#include "src/patchinfo/description.h"
#include "src/patchinfo/patch_info.h"

const char* PATCHW32_CALL ListPassCallback(uint32_t messageId, void* parameter) {
  platform::ProcessPendingMessages();
  switch (engine_host::MessageKind(messageId)) {
    case engine_host::message::kError:
      platform::ShowMessageBox("Internal Update error, patch is possibly corrupt.", "Update Error");
      return engine_host::kStop;
    case engine_host::message::kNotice:
      return engine_host::kStop;
    case engine_host::message::kRecord:
      if (parameter) ParseDescriptionRecord(PatchInfo, static_cast<const char*>(parameter));
      return engine_host::kGoOn;
    default:
      return engine_host::DefaultReply(messageId);
  }
}

int32_t ReadPatchInfo() {
  std::string arguments = "\"" + platform::CurrentFolder() + "\" -i -l";
  int32_t result = engine_host::RunPatchEngine(arguments, ListPassCallback, 1);
  TitleCaseWords(PatchInfo.ProductName);
  PatchInfo.ShortName = ShortNameOf(PatchInfo.ProductName);
  return result;
}
