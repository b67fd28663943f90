// Posix backend: Windows-1252 lower-casing, the message box as a line on stderr, no resources.
#include "platform/platform.h"

#include <cstdio>

namespace platform {

std::string AnsiLowerCase(std::string text) {
  for (char& c : text) {
    auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7))
      byte = static_cast<unsigned char>(byte + 32);
    else if (byte == 0x8A || byte == 0x8C || byte == 0x8E)
      byte = static_cast<unsigned char>(byte + 16);
    else if (byte == 0x9F)
      byte = 0xFF;
    c = static_cast<char>(byte);
  }
  return text;
}

void ShowSystemMessageBox(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

std::optional<std::string> LoadStringResource(int) { return std::nullopt; }

}  // namespace platform
