// The program's view of the engine contract: the callback, its message ids and its replies.
#pragma once

#include <cstdint>
#include <string>

#include "patchw32/include/patchw32.h"

namespace engine_host {

using EngineCallback = PatchCallback;

// The message id's low byte, taken as a signed number, is what decides.
inline int8_t MessageKind(uint32_t messageId) { return static_cast<int8_t>(messageId & 0xFF); }

// The ids the program's callbacks act on, as MessageKind gives them: the engine header's names.
namespace message {
inline constexpr int8_t kNotice = PW_MSG_NOTICE;
inline constexpr int8_t kError = PW_MSG_ERROR;
inline constexpr int8_t kProgress = PW_MSG_PROGRESS;
inline constexpr int8_t kFileCount = PW_MSG_FILE_COUNT;
inline constexpr int8_t kFileBegin = PW_MSG_FILE_BEGIN;
inline constexpr int8_t kFileEnd = PW_MSG_FILE_END;
inline constexpr int8_t kStatus = PW_MSG_STATUS;
inline constexpr int8_t kRecord = PW_MSG_RECORD;
inline constexpr int8_t kCorruptData = PW_MSG_CORRUPT_DATA;
inline constexpr int8_t kCorruptIndex = PW_MSG_CORRUPT_INDEX;
inline constexpr int8_t kConfirm = PW_MSG_CONFIRM;
// Ids our engine never sends and whose parameter is never read; an engine put in its place may
// send them, and each means the pass cannot go on.
inline constexpr int8_t kFatal15 = 15;
inline constexpr int8_t kFatal17 = 17;
inline constexpr int8_t kFatal18 = 18;
inline constexpr int8_t kFatal20 = 20;
}  // namespace message

// Replies: an empty text goes on, "Y" answers message::kConfirm, null stops the pass.
inline constexpr const char* kGoOn = "";
inline constexpr const char* kYes = "Y";
inline constexpr const char* kStop = nullptr;

// What a callback answers for an id it has nothing of its own to do with: the ids that mean the
// pass can't go on stop it, the confirmation is answered "Y", and any other goes on.
inline const char* DefaultReply(uint32_t messageId) {
  switch (MessageKind(messageId)) {
    case message::kCorruptData:
    case message::kCorruptIndex:
    case message::kFatal15:
    case message::kFatal17:
    case message::kFatal18:
    case message::kFatal20:
      return kStop;
    case message::kConfirm:
      return kYes;
    default:
      return kGoOn;
  }
}

// The parameter of an id that carries a text (notice, error, file name, status, record); empty
// when there is none.
inline std::string TextOf(void* parameter) { return parameter ? static_cast<const char*>(parameter) : ""; }

// The message::kProgress parameter: current-file progress in its low 16 bits, 0 to kProgressWhole.
inline constexpr uint32_t kProgressWhole = 32768;
inline uint32_t ProgressOf(void* parameter) {
  return parameter ? (*static_cast<const uint32_t*>(parameter) & 0xFFFF) : 0;
}
// The same progress in percent, as the bars show it (a value past the whole is passed on as is).
inline int ProgressPercentOf(void* parameter) {
  return static_cast<int>(ProgressOf(parameter) * 100 / kProgressWhole);
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
