// Posix backend: directory search with Windows' case-blind wildcards, and names as stored on disk.
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "platform/files.h"
#include "platform/posix/name_resolver.h"
#include "platform/posix/utf8_case.h"

namespace platform {

namespace {

// '*' matches any run, '?' any one character; letters match without regard to case.
bool WildcardMatch(const std::string& anyCasePattern, const std::string& anyCaseName) {
  std::string pattern = posix::LowerCaseUtf8(anyCasePattern);
  std::string name = posix::LowerCaseUtf8(anyCaseName);
  size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += posix::CharacterLength(name, n);
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      starN += posix::CharacterLength(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Upper-cased byte order first, as NTFS lists a folder, so that a search's order is repeatable.
bool ListingOrder(const std::string& a, const std::string& b) {
  auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
  auto key = [&](const std::string& s) {
    std::string k(s);
    std::transform(k.begin(), k.end(), k.begin(), upper);
    return k;
  };
  std::string ka = key(a), kb = key(b);
  return ka != kb ? ka < kb : a < b;
}

std::vector<std::string> SortedEntries(const std::string& folder) {
  std::vector<std::string> names = ListFolder(folder.empty() ? "." : folder);
  std::sort(names.begin(), names.end(), ListingOrder);
  return names;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.empty() ? "." : path.c_str(), &info) == 0;
}

// Replaces each component by the entry of its folder that Windows would open for it. Stops at the
// first component not found and keeps the rest as written; `complete` tells whether every
// component was found.
std::string Resolve(const std::string& path, bool& complete) {
  complete = true;
  std::string done;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(pos, slash - pos);
    if (!part.empty() && part != "." && part != "..") {
      std::optional<std::string> onDisk = posix::EntryOnDisk(done, part);
      if (!onDisk) {
        complete = false;
        return done + path.substr(pos);
      }
      part = std::move(*onDisk);
    }
    done += part;
    if (slash < path.size()) done += '/';
    pos = slash + 1;
  }
  return done;
}

}  // namespace

struct DirectorySearch::State {
  std::vector<std::string> matches;
  size_t next = 0;
};

DirectorySearch::DirectorySearch(std::unique_ptr<State> state) : state_(std::move(state)) {}
DirectorySearch::~DirectorySearch() = default;

std::unique_ptr<DirectorySearch> DirectorySearch::Start(const std::string& pattern) {
  size_t slash = pattern.rfind('/');
  std::string folder = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
  std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (namePattern.empty()) return nullptr;
  auto state = std::make_unique<State>();
  for (std::string& name : SortedEntries(FindOnDisk(folder)))
    if (WildcardMatch(namePattern, name)) state->matches.push_back(std::move(name));
  if (state->matches.empty()) return nullptr;
  std::unique_ptr<DirectorySearch> search(new DirectorySearch(std::move(state)));
  search->Next();
  return search;
}

bool DirectorySearch::Next() {
  if (state_->next >= state_->matches.size()) return false;
  name_ = state_->matches[state_->next++];
  return true;
}

std::string FindOnDisk(const std::string& path) {
  bool complete = false;
  return Resolve(path, complete);
}

bool ExpandLongPath(const std::string& path, std::string& expanded) {
  if (path.empty()) return false;
  bool complete = false;
  std::string resolved = Resolve(path, complete);
  if (!complete || !Exists(resolved)) return false;
  // One separator between components, none at the end (the root keeps its own).
  std::string tidy;
  for (char c : resolved)
    if (c != '/' || tidy.empty() || tidy.back() != '/') tidy += c;
  while (tidy.size() > 1 && tidy.back() == '/') tidy.pop_back();
  expanded = tidy;
  return true;
}

bool EndsFolderPart(char c) { return c == '/'; }

}  // namespace platform
