// The installation locator: the current folder wins, then the payload's registry keys in order.
#include "src/detect/locator.h"

#include "src/detect/game_path.h"
#include "src/detect/regular_file.h"
#include "src/engine_host/engine_contract.h"

namespace {

bool IsFileOnDisk(const std::string& path) { return IsRegularFile(platform::FindOnDisk(path)); }

// The folder holds the game: its executable can be opened, or an update of the executable was
// interrupted there (the journal, and the executable set aside or staged beside its name), which
// the update run's recovery pass finishes or undoes before anything reads the folder.
bool HoldsGame(const std::string& folder, const std::string& exeName) {
  namespace left = engine_host::interrupted_update;
  std::string exe = GamePath(folder, exeName);
  if (OpenRegularFile(exe)) return true;
  return IsFileOnDisk(GamePath(folder, left::kJournalName)) &&
         (IsFileOnDisk(exe + left::kSetAsideSuffix) || IsFileOnDisk(exe + left::kStagedSuffix));
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
  if (HoldsGame("", info.ExeName)) {
    info.InstallPath = platform::CurrentFolder();
    return;
  }
  for (const std::string& key : info.RegistryKeys) {
    std::string value = ReadRegistryString(key, kInstallPathValue);
    if (value.empty()) continue;
    std::string expanded;
    ExpandLongPath(value, expanded);
    if (HoldsGame(value, info.ExeName)) {
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
  // "/Orvan.exe" is in the root folder, which keeps its separator.
  if (path.size() > 1 && path.back() == platform::PathSeparator()) path.pop_back();
  info.InstallPath = path;
}
