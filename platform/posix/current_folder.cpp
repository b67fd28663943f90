// Posix backend: the process's current folder.
#include <limits.h>
#include <unistd.h>

#include <vector>

#include "platform/files.h"

namespace platform {

std::string CurrentFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (!getcwd(buffer.data(), buffer.size())) return {};
  return buffer.data();
}

}  // namespace platform
