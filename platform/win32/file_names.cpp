// Win32 backend: the system's directory search and the long form of a path, component by component.
#include "platform/files.h"

#include <windows.h>

#include "platform/win32/files_wide_names.h"

namespace platform {

struct DirectorySearch::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data{};
};

DirectorySearch::DirectorySearch(std::unique_ptr<State> state) : state_(std::move(state)) {
  name_ = win32::NarrowText(state_->data.cFileName);
}

DirectorySearch::~DirectorySearch() { FindClose(state_->handle); }

std::unique_ptr<DirectorySearch> DirectorySearch::Start(const std::string& pattern) {
  auto state = std::make_unique<State>();
  state->handle = FindFirstFileW(win32::SystemPath(pattern).c_str(), &state->data);
  if (state->handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<DirectorySearch>(new DirectorySearch(std::move(state)));
}

bool DirectorySearch::Next() {
  if (!FindNextFileW(state_->handle, &state_->data)) return false;
  name_ = win32::NarrowText(state_->data.cFileName);
  return true;
}

std::string FindOnDisk(const std::string& path) { return path; }

namespace {

// The long name of the first entry found for `path`, or nothing.
bool FindLongName(const std::string& path, std::string& name) {
  WIN32_FIND_DATAW data{};
  HANDLE handle = FindFirstFileW(win32::SystemPath(path).c_str(), &data);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FindClose(handle);
  name = win32::NarrowText(data.cFileName);
  return true;
}

// Position of the last backslash counting from 1, 0 when there is none; the second byte of a
// double-byte character is never taken for one.
size_t LastBackslash(const std::string& text) {
  size_t last = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size())
      ++i;
    else if (text[i] == '\\')
      last = i + 1;
  }
  return last;
}

}  // namespace

bool ExpandLongPath(const std::string& path, std::string& expanded) {
  std::string result;
  if (!FindLongName(path, result)) return false;
  std::string rest = path;
  size_t p = LastBackslash(path);
  while (p != 0) {
    rest.resize(p - 1);
    std::string name;
    if (rest.size() == 2) {
      // A drive such as D: keeps the case in which it was written.
      result = rest + "\\" + result;
      rest.clear();
    } else if (!FindLongName(rest, name)) {
      // The front that can't be found (a share, or a leading backslash) stays as written.
      result = rest + "\\" + result;
      rest.clear();
    } else {
      result = name + "\\" + result;
    }
    p = LastBackslash(rest);
  }
  expanded = result;
  return true;
}

bool EndsFolderPart(char c) { return c == '\\' || c == ':'; }

}  // namespace platform
