// A tree is walked once and checked whole, so that a payload the engine would refuse is never built.
#include "mkpatch/tree_walk.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "patchw32/format/entry_path.h"
#include "patchw32/format/names.h"
#include "platform/files.h"

namespace mkpatch {

namespace {

void WalkFolder(const std::string& root, const std::string& relative, std::vector<TreeFile>& files) {
  std::string folder = relative.empty() ? root : JoinPath(root, relative);
  auto names = platform::FolderEntries(folder);
  if (!names) throw std::runtime_error("cannot read the folder " + folder);
  for (const auto& name : *names) {
    std::string path = relative.empty() ? name : relative + "/" + name;
    std::string full = JoinPath(root, path);
    switch (platform::KindOf(full)) {
      case platform::PathKind::Folder:
        WalkFolder(root, path, files);
        break;
      case platform::PathKind::File: {
        if (!payload::IsSafeEntryPath(path))
          throw std::runtime_error(full + ": the engine refuses this name (a device name, a drive, a stream, a "
                                   "trailing dot or blank, or a reserved ending)");
        auto file = platform::File::Open(full, platform::File::Mode::Read);
        auto size = file ? file->Size() : std::nullopt;
        if (!size) throw std::runtime_error("cannot read " + full);
        files.push_back({path, full, *size});
        break;
      }
      case platform::PathKind::Missing:
        throw std::runtime_error(full + " went away while the folder was read");
      case platform::PathKind::Other:
        throw std::runtime_error(full + " is a symbolic link or a special file; copy the file in");
    }
  }
}

}  // namespace

std::string JoinPath(const std::string& root, const std::string& relative) {
  std::string path = root;
  if (!path.empty() && !platform::EndsFolderPart(path.back()) && path.back() != '/') path += platform::PathSeparator();
  for (char c : relative) path += c == '/' ? platform::PathSeparator() : c;
  return path;
}

std::vector<TreeFile> WalkTree(const std::string& root) {
  // The root itself may be a link to the release's folder; only what is below it must be plain.
  if (platform::KindOf(root) == platform::PathKind::Missing) throw std::runtime_error("no folder " + root);
  std::vector<TreeFile> files;
  WalkFolder(root, "", files);
  std::sort(files.begin(), files.end(), [](const TreeFile& a, const TreeFile& b) { return a.path < b.path; });

  std::map<std::string, std::string> folded;
  for (const auto& file : files) {
    auto [at, fresh] = folded.emplace(payload::FoldName(file.path), file.path);
    if (!fresh)
      throw std::runtime_error(root + ": " + at->second + " and " + file.path +
                               " differ only in case, and Windows would take them for one file");
  }
  return files;
}

}  // namespace mkpatch
