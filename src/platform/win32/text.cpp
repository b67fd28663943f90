// Win32 backend: the code page's lower-casing and the system's message box.
#include "platform.h"

#include <windows.h>

namespace platform {

std::string AnsiLowerCase(std::string text) {
  if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

void ShowSystemMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

}  // namespace platform
