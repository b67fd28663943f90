// Posix backend: free space of the file system that holds a folder.
#include <sys/statvfs.h>

#include "platform/files.h"

namespace platform {

std::optional<uint64_t> FreeBytes(const std::string& folder) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return std::nullopt;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

Volume VolumeHolding(const std::string& folder) {
  // A path written as on Windows ("d:...") is taken to name that drive, which posix doesn't
  // have, so its space can't be read either.
  if (folder.size() >= 2 && folder[1] == ':')
    return {folder[0], "drive " + folder.substr(0, 2), FreeBytes(folder.substr(0, 2) + "/")};
  if (folder.empty()) return {std::nullopt, "the file system holding the current folder", FreeBytes(".")};
  return {std::nullopt, "the file system holding " + folder, FreeBytes(folder)};
}

}  // namespace platform
