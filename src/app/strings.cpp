// The string table's texts.
#include "strings.h"

#include <map>

std::string LoadAppString(int id) {
  static const std::map<int, std::string> kStrings = {
      {16, "%s Update: version %s to %s"},
  };
  auto found = kStrings.find(id);
  return found == kStrings.end() ? std::string() : found->second;
}
