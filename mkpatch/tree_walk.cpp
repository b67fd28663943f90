// A tree is walked once and checked whole, so that a payload the engine would refuse is never built.
#include "tree_walk.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "entry_path.h"

namespace mkpatch {

namespace fs = std::filesystem;

std::vector<TreeFile> WalkTree(const fs::path& root) {
  std::error_code error;
  if (!fs::is_directory(root, error)) throw std::runtime_error("no folder " + root.string());
  std::vector<TreeFile> files;
  fs::recursive_directory_iterator walk(root, fs::directory_options::none, error);
  if (error) throw std::runtime_error("cannot read the folder " + root.string() + ": " + error.message());
  for (auto end = fs::recursive_directory_iterator(); walk != end; walk.increment(error)) {
    if (error) throw std::runtime_error("cannot read the folder " + root.string() + ": " + error.message());
    const auto& item = *walk;
    std::string path = item.path().lexically_relative(root).generic_string();
    auto status = item.symlink_status(error);
    if (error) throw std::runtime_error("cannot read " + item.path().string() + ": " + error.message());
    if (fs::is_symlink(status)) throw std::runtime_error(item.path().string() + " is a symbolic link; copy the file in");
    if (fs::is_directory(status)) continue;
    if (!fs::is_regular_file(status)) throw std::runtime_error(item.path().string() + " is not a regular file");
    if (!payload::IsSafeEntryPath(path))
      throw std::runtime_error(item.path().string() + ": the engine refuses this name (a device name, a drive, a "
                               "stream, a trailing dot or blank, or a reserved ending)");
    files.push_back({path, item.path(), static_cast<uint64_t>(item.file_size(error))});
    if (error) throw std::runtime_error("cannot read " + item.path().string() + ": " + error.message());
  }
  std::sort(files.begin(), files.end(), [](const TreeFile& a, const TreeFile& b) { return a.path < b.path; });

  std::map<std::string, std::string> folded;
  for (const auto& file : files) {
    std::string key = file.path;
    for (char& c : key)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    auto [at, fresh] = folded.emplace(key, file.path);
    if (!fresh)
      throw std::runtime_error(root.string() + ": " + at->second + " and " + file.path +
                               " differ only in case, and Windows would take them for one file");
  }
  return files;
}

}  // namespace mkpatch
