// Resolving payload paths on disk, and reading from the description records which files the
// program's version detection looks at.
#include "patchw32/engine/installation.h"

#include <algorithm>

#include "patchw32/format/names.h"
#include "patchw32/format/records.h"
#include "platform/files.h"

namespace engine {
namespace {

std::vector<std::string> SplitPath(const std::string& relative) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    parts.push_back(relative.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string DetectionKey(std::string_view field) {
  std::string name(field);
  std::replace(name.begin(), name.end(), '\\', '/');
  return payload::FoldName(name);
}

}  // namespace

std::string ShownName(const std::string& payloadPath) {
  // Lower-cased like the description records, so that the host's extension tests (against the
  // records' lower-case expansion extensions) see the names the same way.
  std::string name = platform::AnsiLowerCase(payloadPath);
  std::replace(name.begin(), name.end(), '/', platform::PathSeparator());
  return name;
}

Installation::Installation(std::string folder) : folder_(std::move(folder)) {
  while (folder_.size() > 1 && (folder_.back() == '/' || folder_.back() == platform::PathSeparator()))
    folder_.pop_back();
}

std::string Installation::Full(const std::string& relative) const {
  std::string path = folder_ + platform::PathSeparator() + relative;
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(folder_.size()), path.end(), '/',
               platform::PathSeparator());
  return path;
}

std::string Installation::Relative(const std::string& full) const {
  std::string relative = full.size() > folder_.size() ? full.substr(folder_.size() + 1) : std::string();
  std::replace(relative.begin(), relative.end(), platform::PathSeparator(), '/');
  return relative;
}

std::string Installation::Resolve(const std::string& payloadPath) {
  auto parts = SplitPath(Relative(platform::ResolveInFolder(folder_, payloadPath)));
  std::string built;
  bool missing = false;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string candidate = built.empty() ? parts[i] : built + "/" + parts[i];
    if (!missing) missing = platform::KindOf(Full(candidate)) == platform::PathKind::Missing;
    if (missing && i + 1 < parts.size()) candidate = plannedFolders_.emplace(payload::FoldName(candidate), candidate).first->second;
    built = candidate;
  }
  return built;
}

std::vector<std::string> Installation::MissingFolders(const std::string& relative) const {
  std::vector<std::string> folders;
  size_t slash = 0;
  while ((slash = relative.find('/', slash)) != std::string::npos) {
    std::string folder = relative.substr(0, slash++);
    if (platform::KindOf(Full(folder)) == platform::PathKind::Missing) folders.push_back(folder);
  }
  return folders;
}

// The engine takes a field even when it is the record's last, unlike the program, which wants
// the comma after it: a file the program might read is never swapped early.
DetectionFiles::DetectionFiles(const std::vector<std::string>& records)
    : expansionExtensions_(payload::ExpansionExtensionsOf(records)) {
  for (const auto& record : records) {
    payload::RecordKind kind = payload::KindOfRecord(record);
    if (kind == payload::RecordKind::Versions) {
      if (auto exe = payload::RecordField(record, 2)) executable_ = DetectionKey(*exe);
    } else if (kind == payload::RecordKind::Checksum) {
      if (auto file = payload::RecordField(record, 1)) checksumFiles_.push_back(DetectionKey(*file));
    }
  }
}

int DetectionFiles::CommitRank(const std::string& payloadPath) const {
  std::string key = DetectionKey(payloadPath);
  if (!executable_.empty() && key == executable_) return 2;
  if (std::find(checksumFiles_.begin(), checksumFiles_.end(), key) != checksumFiles_.end()) return 1;
  std::string extension = payload::FoldedExtension(key);
  if (std::find(expansionExtensions_.begin(), expansionExtensions_.end(), extension) != expansionExtensions_.end())
    return 1;
  return 0;
}

}  // namespace engine
