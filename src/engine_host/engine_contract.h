// The program's view of the engine contract: the callback, its message ids and its replies.
#pragma once

#include <cstdint>

#include "patchw32/include/patchw32.h"

namespace engine_host {

using EngineCallback = PatchCallback;

// The message id's low byte, taken as a signed number, is what decides.
inline int8_t MessageKind(uint32_t messageId) { return static_cast<int8_t>(messageId & 0xFF); }

// Replies: an empty text goes on, "Y" answers id 19, null stops the pass.
inline constexpr const char* kGoOn = "";
inline constexpr const char* kYes = "Y";
inline constexpr const char* kStop = nullptr;

// What a callback answers for an id it has nothing of its own to do with: the ids that mean the
// pass can't go on stop it, id 19 is confirmed with "Y", and any other goes on.
inline const char* DefaultReply(uint32_t messageId) {
  switch (MessageKind(messageId)) {
    case 13: case 14: case 15: case 17: case 18: case 20:
      return kStop;
    case 19:
      return kYes;
    default:
      return kGoOn;
  }
}

// The id 5 parameter: current-file progress in its low 16 bits, 0 to 32768.
inline uint32_t ProgressOf(void* parameter) {
  return parameter ? (*static_cast<const uint32_t*>(parameter) & 0xFFFF) : 0;
}

// The files an interrupted update leaves in the installation folder, as the engine names them.
// The program never reads them; it only recognises an installation whose executable is set aside
// or staged mid-swap, so that the recovery pass can be run there before anything reads it.
namespace interrupted_update {
inline constexpr const char* kJournalName = "update-journal.orvan~";
inline constexpr const char* kSetAsideSuffix = ".old.orvan~";  // the original, kept until the swap ends
inline constexpr const char* kStagedSuffix = ".new.orvan~";    // the new contents, not yet in place
}  // namespace interrupted_update

}  // namespace engine_host
