// The command line's argument part, found as the system's own start-up code finds it.
#include "src/app/win32/argument_text.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string ArgumentText(const std::string& commandLine) {
  size_t at = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    // A quoted path ends at the next quote; without one it runs to the end.
    size_t close = commandLine.find('"', 1);
    at = close == std::string::npos ? commandLine.size() : close + 1;
  } else {
    while (at < commandLine.size() && !IsBlank(commandLine[at])) ++at;
  }
  while (at < commandLine.size() && IsBlank(commandLine[at])) ++at;
  return commandLine.substr(at);
}
