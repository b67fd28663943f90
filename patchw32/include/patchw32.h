/* The patch engine's one public header: its entry point, callback and message ids.
 *
 * The updater carries the engine as a dynamic library and calls PatchApply32 (export ordinal 1)
 * once per pass. The call is synchronous; the engine calls back on the calling thread. */
#ifndef PATCHW32_H
#define PATCHW32_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define PATCHW32_CALL __stdcall
#else
#define PATCHW32_CALL
#endif

/* Windows exports through patchw32.def (ordinal 1); elsewhere by visibility. */
#if defined(_WIN32)
#define PATCHW32_API
#else
#define PATCHW32_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The callback's message id: its low byte, taken as a signed number, is what the host reads.
 * The reply is a zero-terminated text: null stops the pass, anything else lets it go on. */
typedef const char* (PATCHW32_CALL* PatchCallback)(uint32_t messageId, void* parameter);

enum PatchMessageId {
  PW_MSG_NOTICE = 2,          /* text: a notice, such as a file that is not of the expected version */
  PW_MSG_ERROR = 4,           /* text: an error; also a shortage of storage in the verification pass */
  PW_MSG_PROGRESS = 5,        /* uint32_t*: low 16 bits, current file's progress 0 to 32768 */
  PW_MSG_FILE_COUNT = 6,      /* uint32_t*: the number of files the pass will announce */
  PW_MSG_FILE_BEGIN = 7,      /* text: the file's path relative to the installation folder */
  PW_MSG_FILE_END = 8,        /* not read: the current file is finished */
  PW_MSG_STATUS = 9,          /* text: what is done to the current file */
  PW_MSG_RECORD = 11,         /* text: one description record and one extra final character */
  PW_MSG_CORRUPT_DATA = 13,   /* not read: a data block failed its check */
  PW_MSG_CORRUPT_INDEX = 14,  /* not read: the file table failed its check */
  PW_MSG_CONFIRM = 19         /* not read: the reply "Y" confirms */
};

/* Results: 0 the pass succeeded; anything else it failed. */
enum PatchResult {
  PW_OK = 0,
  PW_BAD_COMMAND_LINE = 1,
  PW_BAD_PAYLOAD = 2,
  PW_STOPPED = 3,
  PW_NOT_SUPPORTED = 4,
  PW_IO_ERROR = 5,
  PW_INTERNAL_ERROR = 6,
  PW_IN_USE = 7 /* another program is updating the installation */
};

/* commandLine: /z "<updater path>" "<folder>" -i and one pass:
 *   -l  listing: the description records (ids 11); touches no folder.
 *   -j  verification: what the update would do (ids 6, 7, 5, 2, 8, and 4 for a shortage of storage);
 *       changes nothing. A journal of an interrupted update in the folder is an error (id 4).
 *   -u [-b:<backup folder>]  update: all or nothing. Finishes or undoes an interrupted update
 *       first, and refuses (id 4) while another program updates the folder.
 *   -r  recovery: finishes or undoes an interrupted update in the folder, before anything reads it.
 *       Silent (no message, result 0) when there is nothing to do; one id 9 text when an update
 *       was finished or undone; one id 4 text, and nothing changed, when the folder's journal is
 *       damaged or not this payload's for this folder, or another program updates the folder;
 *       one id 4 text when the update could be neither finished nor undone (its journal stays). */
PATCHW32_API int32_t PATCHW32_CALL PatchApply32(const char* commandLine, PatchCallback callback, int32_t waitFlag);

#ifdef __cplusplus
}
#endif

#endif
