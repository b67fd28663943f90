// Posix backend: the process's current folder.
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/files.h"

namespace platform {

std::string CurrentFolder() {
  // A folder may lie deeper than PATH_MAX: grow until its path fits.
  std::vector<char> buffer(256);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace platform
