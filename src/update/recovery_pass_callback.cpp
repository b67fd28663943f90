// Logs what the recovery pass did: silent when there was nothing to do, one line when it finished
// or undid an interrupted update, one line for a journal it left alone or could not complete.
#include "src/update/recovery_pass_callback.h"

#include <string>

#include "src/update/active_run.h"

namespace update {

namespace message = engine_host::message;

const char* PATCHW32_CALL RecoveryPassCallback(uint32_t messageId, void* parameter) {
  RunWindow* window = ActiveRun::WindowForCallback();
  if (!window) return engine_host::kStop;
  switch (engine_host::MessageKind(messageId)) {
    case message::kError:
    case message::kStatus:
      // A recovery half done is worse than one finished: an error is logged and the engine decides.
      if (parameter) window->AddLogLine(engine_host::TextOf(parameter));
      return engine_host::kGoOn;
    default:
      return engine_host::DefaultReply(messageId);
  }
}

}  // namespace update
