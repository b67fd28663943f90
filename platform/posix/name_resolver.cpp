// Posix backend: the one answer to "which file would Windows open for this name".
#include "platform/posix/name_resolver.h"

#include <sys/stat.h>

#include "platform/files.h"
#include "platform/posix/utf8_case.h"

namespace platform::posix {
namespace {

std::string Joined(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return a == b || LowerCaseUtf8(a) == LowerCaseUtf8(b);
}

std::optional<std::string> EntryOnDisk(const std::string& folder, const std::string& name) {
  if (Exists(Joined(folder, name))) return name;
  std::optional<std::string> first;
  for (std::string& entry : ListFolder(folder.empty() ? "." : folder))
    if (SameNameIgnoringCase(entry, name) && (!first || entry < *first)) first = std::move(entry);
  return first;
}

}  // namespace platform::posix
