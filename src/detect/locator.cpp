// The installation locator: the current folder wins, then the payload's registry keys in order.
#include "locator.h"

namespace {

bool CanOpen(const std::string& path) {
  return platform::File::Open(platform::FindOnDisk(path), platform::File::Mode::Read) != nullptr;
}

// A value the directory search can't find as a whole (one ending in a separator, a drive root)
// is used as read, so that a folder that holds the game is not reported as none.
std::string WithoutTrailingSeparators(std::string folder) {
  while (folder.size() > 1 && folder.back() == platform::PathSeparator()) folder.pop_back();
  return folder;
}

}  // namespace

void LocateInstallation(Update& info) {
  if (!info.Valid || !info.InstallPath.empty()) return;
  if (CanOpen(info.ExeName)) {
    info.InstallPath = platform::CurrentFolder();
    return;
  }
  for (const std::string& key : info.RegistryKeys) {
    std::string value = ReadRegistryString(key, kInstallPathValue);
    if (value.empty()) continue;
    std::string expanded;
    ExpandLongPath(value, expanded);
    if (CanOpen(value + platform::PathSeparator() + info.ExeName)) {
      info.InstallPath = expanded.empty() ? WithoutTrailingSeparators(value) : expanded;
      return;
    }
  }
}

void ChooseInstallFolder(platform::OpenDialog& dialog, Update& info) {
  // Whether the user chose or cancelled is not asked: a cancel leaves the earlier file name.
  platform::RunOpenDialog(dialog);
  std::string path = dialog.FileName;
  size_t end = path.size();
  while (end > 0 && !platform::EndsFolderPart(path[end - 1])) --end;
  path.resize(end);
  if (!path.empty() && path.back() == platform::PathSeparator()) path.pop_back();
  info.InstallPath = path;
}
