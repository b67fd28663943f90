// Posix backend: the one answer to "which file would Windows open for this name".
#include "platform/posix/name_resolver.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/files.h"

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

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

std::optional<std::string> EntryOnDisk(const std::string& folder, const std::string& name) {
  if (Exists(Joined(folder, name))) return name;
  std::optional<std::string> first;
  for (std::string& entry : ListFolder(folder.empty() ? "." : folder))
    if (SameNameIgnoringCase(entry, name) && (!first || entry < *first)) first = std::move(entry);
  return first;
}

}  // namespace platform::posix
