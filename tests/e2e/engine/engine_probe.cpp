// A test program that carries the real engine and runs one pass over a folder as the updater's
// driver does, printing each message the engine sends, one per line, and the pass's result.
//
// usage: engine_probe FOLDER -j|-u [BACKUP] [--stop-at N] [--hold FILE]
//   FOLDER is taken relative to the current folder (so that Wine needs no path translation);
//   BACKUP is the -b: folder; --stop-at gives the null reply to the N-th callback (from 0);
//   --hold keeps FILE (relative to FOLDER) open for writing during the pass, which on Windows
//   locks it as a running game would.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/desktop.h"
#include "platform/files.h"
#include "src/engine_host/engine_contract.h"
#include "src/engine_host/engine_loader.h"

namespace {

long stopAt = -1;
long calls = 0;

const char* PATCHW32_CALL Callback(uint32_t messageId, void* parameter) {
  int id = engine_host::MessageKind(messageId);
  std::string text;
  if ((id == 2 || id == 4 || id == 7 || id == 9) && parameter) text = static_cast<const char*>(parameter);
  if ((id == 5 || id == 6) && parameter) text = std::to_string(*static_cast<const uint32_t*>(parameter));
  std::printf("%d %s\n", id, text.c_str());
  if (calls++ == stopAt) return engine_host::kStop;
  // As the verification handler answers: an error stops unless it is the storage report.
  if (id == 4) return text.find("Insufficient Storage") != std::string::npos ? engine_host::kGoOn : engine_host::kStop;
  if (id == 13 || id == 14 || id == 15 || id == 17 || id == 18 || id == 20) return engine_host::kStop;
  if (id == 19) return engine_host::kYes;
  return engine_host::kGoOn;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: engine_probe FOLDER -j|-u [BACKUP] [--stop-at N]\n");
    return 2;
  }
  std::string folder = platform::CurrentFolder() + platform::PathSeparator() + argv[1];
  std::string pass = argv[2];
  std::string backup;
  std::unique_ptr<platform::File> held;
  for (int i = 3; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--stop-at" && i + 1 < argc) {
      stopAt = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "--hold" && i + 1 < argc) {
      held = platform::File::Open(folder + platform::PathSeparator() + argv[++i], platform::File::Mode::ReadWrite);
      if (!held) std::fprintf(stderr, "engine_probe: cannot open %s\n", argv[i]);
    } else {
      backup = "-b:" + arg;
    }
  }
  // Exactly the driver's argument formats: without a backup the update's arguments end in a blank.
  std::string arguments = pass == "-j" ? "\"" + folder + "\" -i -j" : "\"" + folder + "\" -i -u " + backup;
  int32_t result = engine_host::RunPatchEngine(arguments, Callback, 1);
  std::printf("result %d\n", static_cast<int>(result));
  return 0;
}
