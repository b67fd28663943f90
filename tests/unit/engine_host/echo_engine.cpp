// A stand-in engine: sends its command line back as an id 11 text and returns the number after
// "-result:" in it (0 when there is none).
#include <cstdlib>
#include <cstring>

#include "patchw32/include/patchw32.h"

extern "C" PATCHW32_API int32_t PATCHW32_CALL PatchApply32(const char* commandLine, PatchCallback callback,
                                                           int32_t waitFlag) {
  if (!callback(PW_MSG_RECORD, const_cast<char*>(commandLine))) return 99;
  const char* result = std::strstr(commandLine, "-result:");
  return result ? std::atoi(result + 8) : waitFlag - 1;
}
