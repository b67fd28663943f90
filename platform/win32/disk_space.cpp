// Win32 backend: free space of the drive that holds a folder, for this user.
#include <windows.h>

#include "platform/files.h"
#include "platform/win32/files_wide_names.h"

namespace platform {
namespace {

bool NamesDrive(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

}  // namespace

std::optional<uint64_t> FreeBytes(const std::string& folder) {
  ULARGE_INTEGER available;
  std::string path = folder;
  if (!path.empty() && path.back() != '\\') path += '\\';
  if (!GetDiskFreeSpaceExW(win32::SystemPath(path).c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return static_cast<uint64_t>(available.QuadPart);
}

Volume VolumeHolding(const std::string& folder) {
  // A share or a relative path is measured on the current folder's drive.
  std::string onDrive = NamesDrive(folder) ? folder : CurrentFolder();
  if (NamesDrive(onDrive)) {
    std::string drive = onDrive.substr(0, 2);
    return {onDrive[0], "drive " + drive, FreeBytes(drive + "\\")};
  }
  // The current folder is itself on a share (or can't be read): no drive to name.
  std::string current = onDrive.empty() ? std::string("the current folder") : onDrive;
  return {std::nullopt, "the file system holding " + current, FreeBytes(onDrive)};
}

}  // namespace platform
