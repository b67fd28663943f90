// Posix backend: the program's messages, which a console program has no system's own of: no
// string resources, and a message box is a line on stderr.
#include <cstdio>

#include "platform/backend.h"

namespace platform {

void ShowSystemMessageBox(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

std::optional<std::string> LoadStringResource(int) { return std::nullopt; }

}  // namespace platform
