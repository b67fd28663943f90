// Win32 backend: lower-casing with the letters of the active code page.
#include <windows.h>

#include "platform/files.h"

namespace platform {

std::string AnsiLowerCase(std::string text) {
  if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace platform
