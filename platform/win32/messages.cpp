// Win32 backend: the program's messages: its STRINGTABLE and the system's message box.
#include <windows.h>

#include "platform/backend.h"

namespace platform {

void ShowSystemMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

std::optional<std::string> LoadStringResource(int id) {
  // A resource string is at most 4095 characters; 0 means the program carries none.
  char text[4096];
  int length = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), text, sizeof text);
  if (length <= 0) return std::nullopt;
  return std::string(text, static_cast<size_t>(length));
}

}  // namespace platform
