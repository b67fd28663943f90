// orvan-update: the update utility for Linux, with a console front end.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/desktop.h"
#include "src/app/console/console_front_end.h"
#include "src/app/startup.h"

int main(int argc, char** argv) {
  ConsoleOptions options;
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--save-log") == 0) options.saveLog = true;
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("orvan-update %s\n", ORVAN_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf("usage: orvan-update [SkipVersionCheck] [Backup] [--save-log] [--version]\n"
                  "Run it from the game's folder, or anywhere: it finds the installation or asks for\n"
                  "the path of the game's executable on standard input.\n");
      return 0;
    }
    arguments += (arguments.empty() ? "" : " ") + std::string(argv[i]);
  }
  // From the start: a reader of stdout that leaves, or a request to stop during the listing pass,
  // must not end the program mid-way; the request is acted on at the next question or file.
  platform::CatchInterrupts();
  // A console program's dialogs are lines on stderr.
  platform::SetMessageBoxHandler([](const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  });
  ConsoleFrontEnd frontEnd(options);
  return RunProgram(arguments, frontEnd);
}
