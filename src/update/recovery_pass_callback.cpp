// Logs what the recovery pass did: silent when there was nothing to do, one line when it finished
// or undid an interrupted update, one line for a journal it left alone or could not complete.
#include "src/update/recovery_pass_callback.h"

#include <string>

#include "platform/desktop.h"
#include "src/update/progress_window.h"

const char* PATCHW32_CALL RecoveryPassCallback(uint32_t messageId, void* parameter) {
  platform::ProcessPendingMessages();
  TForm1& form = *Form1;
  switch (engine_host::MessageKind(messageId)) {
    case 4:
    case 9:
      // A recovery half done is worse than one finished: an error is logged and the engine decides.
      if (parameter) form.AddLogLine(static_cast<const char*>(parameter));
      return engine_host::kGoOn;
    default:
      return engine_host::DefaultReply(messageId);
  }
}
