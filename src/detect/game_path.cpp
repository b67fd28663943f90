#include "src/detect/game_path.h"

#include <algorithm>

#include "platform/files.h"

std::string GamePath(const std::string& folder, std::string name) {
  char separator = platform::PathSeparator();
  std::replace(name.begin(), name.end(), '\\', separator);
  std::replace(name.begin(), name.end(), '/', separator);
  if (folder.empty()) return name;
  // The root folder ends in its separator already.
  return folder.back() == separator ? folder + name : folder + separator + name;
}
