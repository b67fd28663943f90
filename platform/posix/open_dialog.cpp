// Posix backend of the file-open dialog: the console reads the chosen file's path from stdin.
#include "platform/backend.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace platform {

bool RunSystemOpenDialog(OpenDialog& dialog) {
  if (isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "%s: ", dialog.Title.empty() ? "Path of the game executable" : dialog.Title.c_str());
    std::fflush(stderr);
  }
  std::string line;
  if (!std::getline(std::cin, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return false;
  size_t name = line.rfind('/');
  name = name == std::string::npos ? 0 : name + 1;
  if (!dialog.DefaultExt.empty() && line.find('.', name) == std::string::npos) line += "." + dialog.DefaultExt;
  dialog.FileName = line;
  return true;
}

}  // namespace platform
