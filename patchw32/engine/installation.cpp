// Resolving payload paths on disk, and reading from the description records which files the
// program's version detection looks at.
#include "patchw32/engine/installation.h"

#include <algorithm>

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

// A description record's fields: cut at every comma, each trimmed of codes 0 to 32.
std::vector<std::string> RecordFields(const std::string& record) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t comma = record.find(',', start);
    std::string field = record.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!field.empty() && blank(field.back())) field.pop_back();
    field.erase(field.begin(), std::find_if_not(field.begin(), field.end(), blank));
    fields.push_back(std::move(field));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

// An expansion record's extension: all that follows its fourth comma, trimmed, its first three
// characters (the program keeps no more).
std::string ExpansionExtension(const std::string& record) {
  size_t at = 0;
  for (int comma = 0; comma < 4; ++comma) {
    at = record.find(',', at);
    if (at == std::string::npos) return {};
    ++at;
  }
  std::string rest = record.substr(at);
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!rest.empty() && blank(rest.back())) rest.pop_back();
  rest.erase(rest.begin(), std::find_if_not(rest.begin(), rest.end(), blank));
  return FoldCase(rest.substr(0, 3));
}

std::string DetectionKey(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return FoldCase(name);
}

}  // namespace

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return folded;
}

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
    if (missing && i + 1 < parts.size()) candidate = plannedFolders_.emplace(FoldCase(candidate), candidate).first->second;
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

DetectionFiles::DetectionFiles(const std::vector<std::string>& records) {
  for (const auto& record : records) {
    std::string lower = FoldCase(record);
    auto fields = RecordFields(record);
    if (lower.starts_with("versions") && fields.size() >= 3) executable_ = DetectionKey(fields[2]);
    if (lower.starts_with("checksum") && fields.size() >= 2) checksumFiles_.push_back(DetectionKey(fields[1]));
    if (lower.starts_with("expansion")) {
      std::string extension = ExpansionExtension(record);
      if (!extension.empty()) expansionExtensions_.push_back(extension);
    }
  }
}

int DetectionFiles::CommitRank(const std::string& payloadPath) const {
  std::string key = DetectionKey(payloadPath);
  if (!executable_.empty() && key == executable_) return 2;
  if (std::find(checksumFiles_.begin(), checksumFiles_.end(), key) != checksumFiles_.end()) return 1;
  std::string name = key.substr(key.rfind('/') == std::string::npos ? 0 : key.rfind('/') + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos &&
      std::find(expansionExtensions_.begin(), expansionExtensions_.end(), name.substr(dot + 1)) !=
          expansionExtensions_.end())
    return 1;
  return 0;
}

}  // namespace engine
