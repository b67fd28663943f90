// Runs the engine's update pass of an updater on an installation folder, answering every message
// with "go on", and prints the notices and errors: the 32-bit engine's whole apply (verification
// of the old file, decoding, the new file's check, the transaction) on a file past 4 GiB.
//
//   orvan-large-update UPDATER FOLDER
#include <cstdio>
#include <string>

#include "patchw32/include/patchw32.h"

namespace {

const char* GoOn(uint32_t messageId, void* parameter) {
  int id = static_cast<signed char>(messageId & 0xFF);
  if ((id == PW_MSG_NOTICE || id == PW_MSG_ERROR || id == PW_MSG_STATUS || id == PW_MSG_FILE_BEGIN) && parameter)
    std::printf("%d: %s\n", id, static_cast<const char*>(parameter));
  if (id == PW_MSG_CORRUPT_DATA || id == PW_MSG_CORRUPT_INDEX) std::printf("%d: corrupt\n", id);
  return id == PW_MSG_CONFIRM ? "Y" : "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: orvan-large-update UPDATER FOLDER\n");
    return 2;
  }
  std::string commandLine = std::string("/z \"") + argv[1] + "\" \"" + argv[2] + "\" -i -u";
  int32_t result = PatchApply32(commandLine.c_str(), GoOn, 1);
  std::printf("result %d\n", static_cast<int>(result));
  return result == PW_OK ? 0 : 1;
}
