// Win32 backend: free space of the drive that holds a folder, for this user.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

std::optional<uint64_t> FreeBytes(const std::string& folder) {
  ULARGE_INTEGER available;
  std::string path = folder;
  if (!path.empty() && path.back() != '\\') path += '\\';
  if (!GetDiskFreeSpaceExA(path.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return static_cast<uint64_t>(available.QuadPart);
}

}  // namespace platform
