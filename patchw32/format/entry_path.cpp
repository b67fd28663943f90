// A payload path is relative and plain: no way out of the folder, no drive, stream or device.
#include "patchw32/format/entry_path.h"

#include <array>
#include <string>

#include "patchw32/format/format.h"
#include "patchw32/format/names.h"

namespace payload {
namespace {

bool IsDeviceName(std::string_view component) {
  // Windows opens the device whatever extension follows the name: "nul.txt" is NUL.
  std::string stem = FoldName(component.substr(0, component.find('.')));
  static constexpr std::array<std::string_view, 4> kPlain = {"con", "prn", "aux", "nul"};
  for (auto name : kPlain)
    if (stem == name) return true;
  if (stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")))
    return stem[3] >= '1' && stem[3] <= '9';
  return stem == "conin$" || stem == "conout$";
}

bool IsSafeComponent(std::string_view component) {
  if (component.empty() || component == "." || component == "..") return false;
  if (component.back() == '.' || component.back() == ' ') return false;
  for (char c : component) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
        c == '>' || c == '|')
      return false;
  }
  return !IsDeviceName(component);
}

}  // namespace

bool IsSafeRelativePath(std::string_view path, size_t maxLength) {
  if (path.empty() || path.size() > maxLength || path.front() == '/') return false;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    if (!IsSafeComponent(path.substr(start, end == std::string_view::npos ? end : end - start)))
      return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool IsSafeEntryPath(std::string_view path) {
  if (!IsSafeRelativePath(path, kMaxPathLength)) return false;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    std::string_view component = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (EndsWithName(component, kEngineFileSuffix)) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

}  // namespace payload
