// Walking a release's file tree: every regular file, by its '/'-separated relative path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkpatch {

struct TreeFile {
  std::string path;  // relative, '/'-separated, as spelled on disk
  std::string full;  // the root joined with the path by the system's separator
  uint64_t size = 0;
};

// `relative` ('/'-separated) below `root`, joined by the system's separator.
std::string JoinPath(const std::string& root, const std::string& relative);

// Sorted by path. Throws std::runtime_error with a one-line reason for a missing or unreadable
// folder, a symbolic link or special file, a name the engine would refuse, or two names that
// differ only in case (one file on Windows).
std::vector<TreeFile> WalkTree(const std::string& root);

}  // namespace mkpatch
