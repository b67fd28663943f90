// Finding the installation folder: the current folder, the registry, or the user's choice.
#pragma once

#include <string>

#include "platform/desktop.h"
#include "platform/files.h"
#include "src/patchinfo/patch_info.h"

// The registry value under each of the payload's keys that names the installation folder.
inline constexpr const char* kInstallPathValue = "Install Path";

// A text value below HKEY_LOCAL_MACHINE (empty when missing); a value of the wrong type raises
// platform::FrameworkError "Invalid data type for '%s'".
inline std::string ReadRegistryString(const std::string& key, const std::string& valueName) {
  return platform::ReadRegistryString(key, valueName);
}

// The path with each component in its long form as stored on disk; false, leaving `expanded`
// untouched, when the path can't be found.
inline bool ExpandLongPath(const std::string& path, std::string& expanded) {
  return platform::ExpandLongPath(path, expanded);
}

// The search: when `info` is Valid and InstallPath is empty, the current folder if it holds
// ExeName, else the first of RegistryKeys whose "Install Path" folder holds it. May leave
// InstallPath empty. A registry value of the wrong type raises platform::FrameworkError, which
// ends the search.
void LocateInstallation(Update& info = PatchInfo);

// Runs the dialog and sets InstallPath to the folder of the file it then holds, without a
// trailing separator: after a cancel, the folder of the earlier choice, or empty before any.
void ChooseInstallFolder(platform::OpenDialog& dialog, Update& info = PatchInfo);
