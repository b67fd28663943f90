// Posix backend: free space of the file system that holds a folder.
#include <sys/statvfs.h>

#include "platform/platform.h"

namespace platform {

std::optional<uint64_t> FreeBytes(const std::string& folder) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return std::nullopt;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace platform
