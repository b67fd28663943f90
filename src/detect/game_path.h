// Where a name from the description records (the executable, a checksum file) is in a folder.
#pragma once

#include <string>

// `name` inside `folder` (a bare name for an empty folder: the current one). The records are
// written on Windows, so a '\' in the name separates folders on every system, as '/' does.
std::string GamePath(const std::string& folder, std::string name);
