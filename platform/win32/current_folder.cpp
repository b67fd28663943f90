// Win32 backend: the process's current folder.
#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/win32/files_wide_names.h"

namespace platform {

std::string CurrentFolder() {
  // The wide call: the ANSI one gives nothing for a folder deeper than MAX_PATH (under Wine).
  // Asked for its length first; asked again if the folder changed in between.
  std::wstring buffer;
  DWORD length = GetCurrentDirectoryW(0, nullptr);
  while (length > buffer.size()) {
    buffer.resize(length);
    length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return {};
  }
  return win32::NarrowText(buffer.data(), length);
}

}  // namespace platform
