// Win32 backend: the process's current folder.
#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/win32/files_wide_names.h"

namespace platform {

std::string CurrentFolder() {
  // The wide call: the ANSI one gives nothing for a folder deeper than MAX_PATH (under Wine).
  return win32::NarrowText(win32::SizedText(GetCurrentDirectoryW));
}

}  // namespace platform
