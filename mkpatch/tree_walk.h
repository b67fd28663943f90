// Walking a release's file tree: every regular file, by its '/'-separated relative path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mkpatch {

struct TreeFile {
  std::string path;  // relative, '/'-separated, as spelled on disk
  std::filesystem::path full;
  uint64_t size = 0;
};

// Sorted by path. Throws std::runtime_error with a one-line reason for a missing folder, a
// symbolic link or special file, a name the engine would refuse, or two names that differ only
// in case (one file on Windows).
std::vector<TreeFile> WalkTree(const std::filesystem::path& root);

}  // namespace mkpatch
