// Win32 backend: the process's current folder.
#include <windows.h>

#include <vector>

#include "platform/files.h"

namespace platform {

std::string CurrentFolder() {
  DWORD length = GetCurrentDirectoryA(0, nullptr);
  if (length == 0) return {};
  std::vector<char> buffer(length);
  length = GetCurrentDirectoryA(length, buffer.data());
  return std::string(buffer.data(), length);
}

}  // namespace platform
