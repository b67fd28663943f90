// A file name's extension: the part after its last dot, when no '\' or ':' follows that dot.
#pragma once

#include <string>

namespace update {

inline std::string ExtensionOf(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find_first_of("\\:", dot) != std::string::npos) return {};
  return name.substr(dot + 1);
}

}  // namespace update
