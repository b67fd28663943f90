// Win32 backend of what the patch builder needs: folder listings (which tell an unreadable folder from an empty one) and the process id.
#include <windows.h>

#include "platform/files.h"
#include "platform/win32/files_wide_names.h"

namespace platform {

std::optional<std::vector<std::string>> FolderEntries(const std::string& folder) {
  WIN32_FIND_DATAW found;
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  HANDLE search = FindFirstFileW(win32::SystemPath(pattern + "*").c_str(), &found);
  // Even an empty folder lists "." and "..": a failed search is a folder that can't be read.
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::string> names;
  do {
    std::string name = win32::NarrowText(found.cFileName);
    if (name != "." && name != "..") names.push_back(std::move(name));
  } while (FindNextFileW(search, &found));
  bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  if (!complete) return std::nullopt;
  return names;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

bool MarkExecutable(const std::string&) { return true; }

}  // namespace platform
