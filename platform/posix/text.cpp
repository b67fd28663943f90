// Posix backend: lower-casing with the letters of Windows-1252, the code page the game's names use.
#include "platform/files.h"

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

}  // namespace platform
