// Posix backend of what the patch builder needs: folder listings (which tell an unreadable folder from an empty one), the process id, exec bits.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/files.h"

namespace platform {

std::optional<std::vector<std::string>> FolderEntries(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    dirent* entry = readdir(dir.get());
    if (!entry) break;
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  if (errno != 0) return std::nullopt;
  return names;
}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

bool MarkExecutable(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  return chmod(path.c_str(), (info.st_mode & 07777) | S_IXUSR | S_IXGRP | S_IXOTH) == 0;
}

}  // namespace platform
